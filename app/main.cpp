#include <string>
#include <vector>

#include "app/run.hpp"
#include "platform/platform.hpp"

#ifdef _WIN32
// Windows gives the arguments as UTF-16; the tool works in UTF-8.
int wmain(int argc, wchar_t** argv) {
    vorlin::platform::prepareStandardStreams();
    std::vector<std::string> arguments = vorlin::platform::argumentsInUtf8(argc, argv);
    std::vector<char*> pointers;
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    const int status = vorlin::runVorlin(argc, pointers.data());
    vorlin::holdClosingWindow();
    return status;
}
#else
int main(int argc, char** argv) {
    vorlin::platform::prepareStandardStreams();
    return vorlin::runVorlin(argc, argv);
}
#endif
