// Compiles the message table sources (id<TAB>text, UTF-8), the Japanese one and
// its English twin, into a resource script with one STRINGTABLE per language
// for the Windows module and compiled-in tables for the native build:
//
//     msgtable messages.txt messages-en.txt out.rc out.cpp
//
// The two must hold the same ids, and each entry the same format directives:
// the same set of (argument index, type) pairs, so that a translation may
// reorder its arguments ("%1:s ... %0:p") but never ask for one the program
// does not pass. Directives without an index take the next one, as the
// formatter counts them.
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <utility>

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

using Table = std::map<unsigned, std::string>;

Table ReadTable(const char* path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error(std::string("cannot open ") + path);
  Table entries;
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    if (line.empty() || line[0] == '#') continue;
    const std::string where = std::string(path) + ":" + std::to_string(lineNo) + ": ";
    size_t tab = line.find('\t');
    if (tab == std::string::npos) throw std::runtime_error(where + "no tab");
    unsigned id = static_cast<unsigned>(std::stoul(line.substr(0, tab)));
    if (id < 65376 || id > 65535) throw std::runtime_error(where + "id out of range");
    if (!entries.emplace(id, Unescape(line.substr(tab + 1))).second) throw std::runtime_error(where + "duplicate id");
  }
  return entries;
}

// The (argument index, type) pairs the format asks for, as the formatter reads
// its directives: "%%" is a literal, "n:" sets the index, "*" takes an argument.
std::multiset<std::pair<long, char>> Directives(const std::string& format) {
  std::multiset<std::pair<long, char>> found;
  long index = 0;
  const auto digits = [&](size_t& i) {
    long value = 0;
    while (i < format.size() && format[i] >= '0' && format[i] <= '9') value = value * 10 + (format[i++] - '0');
    return value;
  };
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    if (++i < format.size() && format[i] == '%') continue;
    for (;;) {
      if (i < format.size() && format[i] == '-') ++i;
      long number = 0;
      if (i < format.size() && format[i] == '*') {
        found.insert({index++, '*'});
        ++i;
      } else {
        number = digits(i);
      }
      if (i < format.size() && format[i] == ':') {
        index = number;
        ++i;
        continue;
      }
      break;
    }
    if (i < format.size() && format[i] == '.') {
      ++i;
      if (i < format.size() && format[i] == '*') {
        found.insert({index++, '*'});
        ++i;
      } else {
        digits(i);
      }
    }
    if (i < format.size()) found.insert({index++, static_cast<char>(std::tolower(format[i]))});
  }
  return found;
}

void WriteStringTable(std::ostream& rc, const char* language, const Table& entries) {
  rc << "LANGUAGE " << language << "\nSTRINGTABLE\nBEGIN\n";
  for (auto& [id, text] : entries) rc << "  " << id << ", " << RcWideLiteral(tools::Utf8ToUtf16(text)) << "\n";
  rc << "END\n";
}

void WriteTable(std::ostream& cpp, const char* name, const Table& entries) {
  cpp << "const MessageTableEntry " << name << "[] = {\n";
  for (auto& [id, text] : entries)
    cpp << "    {" << id << ", " << tools::CxxLiteral(tools::Utf8ToCp932(text)) << "},\n";
  cpp << "};\nconst std::size_t " << name << "Size = sizeof " << name << " / sizeof " << name << "[0];\n\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "usage: msgtable messages.txt messages-en.txt out.rc out.cpp\n";
    return 2;
  }
  try {
    const Table japanese = ReadTable(argv[1]);
    const Table english = ReadTable(argv[2]);
    for (const auto& [id, text] : japanese) {
      const auto twin = english.find(id);
      if (twin == english.end()) throw std::runtime_error(std::to_string(id) + " has no English text");
      if (Directives(text) != Directives(twin->second))
        throw std::runtime_error(std::to_string(id) + ": the English text's directives differ from the Japanese");
    }
    for (const auto& [id, text] : english)
      if (!japanese.count(id)) throw std::runtime_error(std::to_string(id) + " has no Japanese text");
    std::ofstream rc(argv[3]);
    rc << "// Generated from the message table sources; do not edit.\n";
    WriteStringTable(rc, "0x11, 0x01", japanese);
    WriteStringTable(rc, "0x09, 0x01", english);
    std::ofstream cpp(argv[4]);
    cpp << "// Generated from the message table sources; do not edit.\n"
           "#include \"runtime/MessageTable.h\"\n\nnamespace tw {\n\n";
    WriteTable(cpp, "kMessageTable", japanese);
    WriteTable(cpp, "kMessageTableEnglish", english);
    cpp << "}  // namespace tw\n";
    if (!rc || !cpp) throw std::runtime_error("cannot write the output");
  } catch (const std::exception& e) {
    std::cerr << "msgtable: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
