#include "ResourceFiles.h"

#include <exception>
#include <iostream>

// Draws the pictures of the program and of the demo medium into the given folder (the source tree's root).
int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " <output folder>\n";
        return 2;
    }
    try {
        for (const std::string& name : tovira::tools::WriteResourceFiles(argv[1]))
            std::cout << name << '\n';
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
    return 0;
}
