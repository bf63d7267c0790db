# The two set-up commands. Each first makes sure the Debian packages it needs
# are installed (tools/need-packages.sh installs missing ones as root, or
# names the command to run), then runs the CMake workflow preset of its name.
# TagLib is only the tests' reference for the header readers; GNU time
# measures the tool's peak memory in the load test.
BUILD_PACKAGES := g++ cmake ninja-build
TEST_PACKAGES := $(BUILD_PACKAGES) pkg-config libtag1-dev libgtest-dev libgmock-dev patch time
# vorlin.exe for Windows: Debian's mingw-w64 cross compiler (POSIX threads),
# its windres for the manifest; the suite also needs GoogleTest's sources
# and wine to run it.
WINDOWS_PACKAGES := cmake ninja-build g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev \
                    binutils-mingw-w64-x86-64
WINDOWS_TEST_PACKAGES := $(WINDOWS_PACKAGES) googletest wine wine64
# Wine keeps its Windows set-up inside the build folder, says nothing of its
# own, and installs neither Mono nor Gecko (no display is needed).
WINE_ENV := WINEPREFIX=$(CURDIR)/build/windows/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# Where `make install` puts the tool and its manual page.
PREFIX ?= /usr/local

.PHONY: example install test windows test-windows

# Builds the tool and fixes scratch copies of the example albums.
example:
	bash tools/need-packages.sh $(BUILD_PACKAGES)
	cmake --workflow --preset example

# Builds the optimized tool alone and installs it and its manual page under
# $(PREFIX) (bin/vorlin, share/man/man1/vorlin.1).
install:
	bash tools/need-packages.sh $(BUILD_PACKAGES)
	cmake --preset example
	cmake --build build/release --target vorlin
	cmake --install build/release --prefix $(PREFIX)

# Builds everything and runs every test.
test:
	bash tools/need-packages.sh $(TEST_PACKAGES)
	cmake --workflow --preset test

# Cross-builds build/windows/vorlin.exe, statically linked.
windows:
	bash tools/need-packages.sh $(WINDOWS_PACKAGES)
	cmake --preset windows
	cmake --build --preset windows

# Cross-builds the suite and runs it under wine. With a terminal as its input
# (script), wine gives the suite a console, as cmd would, so that the
# console's code pages are tested too; the log is shown when the run ends.
test-windows:
	bash tools/need-packages.sh $(WINDOWS_TEST_PACKAGES)
	cmake --preset windows
	cmake --build --preset windows-tests
	$(WINE_ENV) wineboot -i >/dev/null 2>&1
	cd build/windows && $(WINE_ENV) script -qec "wine tests/vorlin_tests.exe > tests/windows.log 2>&1" \
	  /dev/null; status=$$?; cat tests/windows.log; exit $$status
