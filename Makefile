# The two set-up commands. Each first makes sure the Debian packages it needs
# are installed (tools/need-packages.sh installs missing ones as root, or
# names the command to run), then runs the CMake workflow preset of its name.
# TagLib is only the tests' reference for the header readers.
BUILD_PACKAGES := g++ cmake ninja-build
TEST_PACKAGES := $(BUILD_PACKAGES) pkg-config libtag1-dev libgtest-dev libgmock-dev patch

.PHONY: example test

# Builds the tool and fixes scratch copies of the example albums.
example:
	bash tools/need-packages.sh $(BUILD_PACKAGES)
	cmake --workflow --preset example

# Builds everything and runs every test.
test:
	bash tools/need-packages.sh $(TEST_PACKAGES)
	cmake --workflow --preset test
