// Compiles the message table source (id<TAB>text, UTF-8) into a resource script
// STRINGTABLE for the Windows module and a compiled-in table for the native build.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include "TextCodec.h"

namespace {

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
      out += '\n';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Every character as a four-digit escape, so no following character can join it.
std::string RcWideLiteral(const std::u16string& text) {
  std::string out = "L\"";
  for (char16_t c : text) {
    char buf[8];
    snprintf(buf, sizeof buf, "\\x%04X", static_cast<unsigned>(c));
    out += buf;
  }
  return out + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: msgtable messages.txt out.rc out.cpp\n";
    return 2;
  }
  try {
    std::ifstream in(argv[1]);
    if (!in) throw std::runtime_error(std::string("cannot open ") + argv[1]);
    std::map<unsigned, std::string> entries;
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
      ++lineNo;
      if (line.empty() || line[0] == '#') continue;
      size_t tab = line.find('\t');
      if (tab == std::string::npos) throw std::runtime_error("line " + std::to_string(lineNo) + ": no tab");
      unsigned id = static_cast<unsigned>(std::stoul(line.substr(0, tab)));
      if (id < 65376 || id > 65535) throw std::runtime_error("line " + std::to_string(lineNo) + ": id out of range");
      if (!entries.emplace(id, Unescape(line.substr(tab + 1))).second)
        throw std::runtime_error("line " + std::to_string(lineNo) + ": duplicate id");
    }
    std::ofstream rc(argv[2]);
    rc << "// Generated from the message table source; do not edit.\nSTRINGTABLE\nBEGIN\n";
    for (auto& [id, text] : entries) rc << "  " << id << ", " << RcWideLiteral(tools::Utf8ToUtf16(text)) << "\n";
    rc << "END\n";
    std::ofstream cpp(argv[3]);
    cpp << "// Generated from the message table source; do not edit.\n"
           "#include \"runtime/MessageTable.h\"\n\nnamespace tw {\n\n"
           "const MessageTableEntry kMessageTable[] = {\n";
    for (auto& [id, text] : entries)
      cpp << "    {" << id << ", " << tools::CxxLiteral(tools::Utf8ToCp932(text)) << "},\n";
    cpp << "};\nconst std::size_t kMessageTableSize = sizeof kMessageTable / sizeof kMessageTable[0];\n\n}  // "
           "namespace tw\n";
    if (!rc || !cpp) throw std::runtime_error("cannot write the output");
  } catch (const std::exception& e) {
    std::cerr << "msgtable: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
