#include "app/driver.hpp"

int main(int argc, char** argv) {
    return vorlin::runVorlin(argc, argv);
}
