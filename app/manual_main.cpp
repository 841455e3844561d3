// Writes the man page: its source with the line "@LANGUAGES@" replaced by
// the list of output languages, taken from their table.
//
//   tessvert_manual SOURCE OUT
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "app/options.hpp"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: tessvert_manual SOURCE OUT\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    std::stringstream source;
    source << in.rdbuf();
    std::string page = source.str();
    const std::string mark = "@LANGUAGES@\n";
    const std::size_t at = page.find(mark);
    if (!in || at == std::string::npos) {
        std::cerr << "tessvert_manual: " << argv[1] << " cannot be read or has no " << mark;
        return 1;
    }
    page.replace(at, mark.size(), tessvert::manual_languages());
    std::ofstream out(argv[2]);
    out << page;
    out.close();
    if (!out) {
        std::cerr << "tessvert_manual: " << argv[2] << " cannot be written\n";
        return 1;
    }
    return 0;
}
