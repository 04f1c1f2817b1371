// resgen: compiles resource files into one C++ source for a module.
//
//   resgen -o <out.cpp> [--rcdata <NAME> <file>]... [--strings <file>]...
//
// RCDATA files are embedded byte for byte under NAME (its letter case is kept; lookups ignore
// it). NAME is any non-empty text without control characters.
//
// A STRINGS file is UTF-8 text (a leading byte-order mark is skipped), one string per line:
//
//   # comment                     a line whose first non-blank character is '#' is ignored
//   1000 = Download File          number 0..65535, '=', the text; blanks around the text go
//   1001 = "  kept blanks  "      a text in double quotes keeps its blanks
//   1002 = One\r\nTwo\tend\\      escapes: \\ \" \' \r \n \t \0, \xNN (the character U+00NN,
//   1003 = \u4E0B\u8F09           two hex digits) and \uNNNN (one UTF-16 code unit)
//   1004 =                        an empty text: the string exists and is empty
//
// Empty lines are ignored; lines may end in LF or CR LF. Numbers are unique across all STRINGS
// files of one call, RCDATA names without regard to letter case. The texts are stored as UTF-16
// (LoadStringA converts them to the ANSI code page when they are read).
//
// Errors are reported as "file:line: message" and leave no output file behind.

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Failure {
  std::string message;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw Failure{where + ": " + what};
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail(path, std::string("cannot read the file: ") + std::strerror(errno));
  std::ostringstream data;
  data << in.rdbuf();
  if (in.bad()) Fail(path, "read error");
  return data.str();
}

// One UTF-8 sequence at `pos`; false for a malformed, overlong or surrogate sequence.
bool DecodeUtf8(const std::string& s, std::size_t& pos, char32_t& cp) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  unsigned char b0 = byte(pos);
  int extra;
  char32_t min;
  if (b0 < 0x80) {
    cp = b0;
    ++pos;
    return true;
  } else if ((b0 & 0xE0) == 0xC0) {
    extra = 1, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3, cp = b0 & 0x07, min = 0x10000;
  } else {
    return false;
  }
  if (pos + extra >= s.size()) return false;
  for (int i = 1; i <= extra; ++i) {
    unsigned char b = byte(pos + i);
    if ((b & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  pos += extra + 1;
  return true;
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// The text part of a STRINGS line (after '='), escapes resolved.
std::u16string ParseText(const std::string& raw, const std::string& where) {
  std::size_t begin = 0, end = raw.size();
  while (begin < end && IsBlank(raw[begin])) ++begin;
  while (end > begin && IsBlank(raw[end - 1])) --end;
  bool quoted = begin < end && raw[begin] == '"';
  if (quoted) ++begin;

  std::u16string text;
  std::size_t i = begin;
  bool closed = false;
  while (i < end) {
    char c = raw[i];
    if (quoted && c == '"') {
      closed = true;
      ++i;
      break;
    }
    if (c != '\\') {
      char32_t cp;
      if (!DecodeUtf8(raw, i, cp)) Fail(where, "the text is not valid UTF-8");
      AppendUtf16(text, cp);
      continue;
    }
    if (i + 1 >= end) Fail(where, "a backslash ends the text (write \\\\ for a backslash)");
    char e = raw[i + 1];
    i += 2;
    switch (e) {
      case '\\':
        text.push_back(u'\\');
        break;
      case '"':
        text.push_back(u'"');
        break;
      case '\'':
        text.push_back(u'\'');
        break;
      case 'r':
        text.push_back(u'\r');
        break;
      case 'n':
        text.push_back(u'\n');
        break;
      case 't':
        text.push_back(u'\t');
        break;
      case '0':
        text.push_back(u'\0');
        break;
      case 'x':
      case 'u': {
        int digits = e == 'x' ? 2 : 4;
        if (i + digits > end)
          Fail(where, std::string("\\") + e + " needs " + std::to_string(digits) + " hex digits");
        char32_t value = 0;
        for (int d = 0; d < digits; ++d) {
          int h = HexValue(raw[i + d]);
          if (h < 0) {
            Fail(where, std::string("\\") + e + " needs " + std::to_string(digits) + " hex digits");
          }
          value = value * 16 + static_cast<char32_t>(h);
        }
        i += digits;
        text.push_back(static_cast<char16_t>(value));
        break;
      }
      default:
        Fail(where, std::string("unknown escape \\") + e);
    }
  }
  if (quoted && !closed) Fail(where, "the closing double quote is missing");
  if (quoted && i != end) Fail(where, "text after the closing double quote");
  return text;
}

struct StringEntry {
  std::u16string text;
  std::string where;
};

void ParseStrings(const std::string& path, std::map<std::uint32_t, StringEntry>& strings) {
  std::string content = ReadWholeFile(path);
  if (content.compare(0, 3, "\xEF\xBB\xBF") == 0) content.erase(0, 3);
  std::size_t lineStart = 0;
  int lineNo = 0;
  while (lineStart < content.size()) {
    std::size_t lineEnd = content.find('\n', lineStart);
    if (lineEnd == std::string::npos) lineEnd = content.size();
    std::string line = content.substr(lineStart, lineEnd - lineStart);
    lineStart = lineEnd + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string where = path + ":" + std::to_string(lineNo);

    std::size_t i = 0;
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == line.size() || line[i] == '#') continue;
    if (!std::isdigit(static_cast<unsigned char>(line[i]))) {
      Fail(where, "expected a string number at the start of the line");
    }
    std::uint32_t id = 0;
    while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i]))) {
      id = id * 10 + static_cast<std::uint32_t>(line[i] - '0');
      if (id > 65535) Fail(where, "string numbers go from 0 to 65535");
      ++i;
    }
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == line.size() || line[i] != '=') Fail(where, "expected '=' after the string number");
    std::u16string text = ParseText(line.substr(i + 1), where);
    auto found = strings.find(id);
    if (found != strings.end()) {
      Fail(where, "string " + std::to_string(id) + " is already defined at " + found->second.where);
    }
    strings.emplace(id, StringEntry{std::move(text), where});
  }
}

struct BlobEntry {
  std::string name;
  std::string path;
  std::string data;
};

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// A C++ string literal; octal escapes cannot run into the following character.
std::string CLiteral(const std::string& s) {
  std::string out = "\"";
  char buf[8];
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F || c == '?') {
      std::snprintf(buf, sizeof buf, "\\%03o", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string Generate(const std::vector<BlobEntry>& blobs,
                     const std::map<std::uint32_t, StringEntry>& strings,
                     const std::vector<std::string>& inputs) {
  std::ostringstream out;
  out << "// Generated by resgen; do not edit. Inputs:\n";
  for (const auto& input : inputs) out << "//   " << input << "\n";
  out << "#include \"platform/resource_table.h\"\n\nnamespace {\n\n";
  char buf[16];
  for (std::size_t b = 0; b < blobs.size(); ++b) {
    const std::string& data = blobs[b].data;
    out << "alignas(16) const unsigned char kBlob" << b << "["
        << std::max<std::size_t>(1, data.size()) << "] = {";
    for (std::size_t i = 0; i < data.size(); ++i) {
      if (i % 16 == 0) out << "\n   ";
      std::snprintf(buf, sizeof buf, " 0x%02X,", static_cast<unsigned char>(data[i]));
      out << buf;
    }
    out << (data.empty() ? "0};\n" : "\n};\n");
  }
  std::size_t s = 0;
  for (const auto& [id, entry] : strings) {
    out << "const char16_t kText" << s++ << "[" << std::max<std::size_t>(1, entry.text.size())
        << "] = {";
    for (std::size_t i = 0; i < entry.text.size(); ++i) {
      if (i % 12 == 0) out << "\n   ";
      std::snprintf(buf, sizeof buf, " 0x%04X,", static_cast<unsigned>(entry.text[i]));
      out << buf;
    }
    out << (entry.text.empty() ? "0};\n" : "\n};\n");
  }

  out << "\nconst platform::res::Blob kBlobs[] = {\n";
  for (std::size_t b = 0; b < blobs.size(); ++b) {
    out << "    {" << CLiteral(blobs[b].name) << ", kBlob" << b << ", " << blobs[b].data.size()
        << "u},\n";
  }
  if (blobs.empty()) out << "    {nullptr, nullptr, 0u},\n";
  out << "};\n\nconst platform::res::String kStrings[] = {\n";
  s = 0;
  for (const auto& [id, entry] : strings) {
    out << "    {" << id << "u, kText" << s++ << ", " << entry.text.size() << "u},\n";
  }
  if (strings.empty()) out << "    {0u, nullptr, 0u},\n";
  out << "};\n\n"
      << "const platform::res::Table kTable = {platform::res::kTableMagic, " << blobs.size()
      << "u, kBlobs, " << strings.size() << "u, kStrings};\n\n"
      << "// The module's tables are the pointers in this section.\n"
      << "[[gnu::used, gnu::section(\"kvb_resources\")]] const platform::res::Table* kEntry = "
         "&kTable;\n\n"
      << "}  // namespace\n\n"
      << "extern \"C\" {\n"
      << "extern const platform::res::Table* const __start_kvb_resources[]\n"
      << "    __attribute__((weak, visibility(\"hidden\")));\n"
      << "extern const platform::res::Table* const __stop_kvb_resources[]\n"
      << "    __attribute__((weak, visibility(\"hidden\")));\n\n"
      << "__attribute__((weak, visibility(\"default\"))) const platform::res::Table* const*\n"
      << "kvb_module_resources(std::size_t* count) {\n"
      << "  *count = static_cast<std::size_t>(__stop_kvb_resources - __start_kvb_resources);\n"
      << "  return __start_kvb_resources;\n"
      << "}\n"
      << "}\n";
  return out.str();
}

void WriteOutput(const std::string& path, const std::string& text) {
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) Fail(path, std::string("cannot write: ") + std::strerror(errno));
    out << text;
    out.flush();
    if (!out) {
      std::remove(temp.c_str());
      Fail(path, "write error");
    }
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    Fail(path, std::string("cannot write: ") + std::strerror(errno));
  }
}

int Usage() {
  std::fprintf(stderr,
               "usage: resgen -o <out.cpp> [--rcdata <NAME> <file>]... [--strings <file>]...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string output;
  std::vector<BlobEntry> blobs;
  std::vector<std::string> stringFiles;
  std::vector<std::string> inputs;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-o" && i + 1 < argc) {
      output = argv[++i];
    } else if (arg == "--rcdata" && i + 2 < argc) {
      blobs.push_back({argv[i + 1], argv[i + 2], {}});
      inputs.push_back(std::string("RCDATA ") + argv[i + 1] + " " + argv[i + 2]);
      i += 2;
    } else if (arg == "--strings" && i + 1 < argc) {
      stringFiles.push_back(argv[++i]);
      inputs.push_back(std::string("STRINGS ") + argv[i]);
    } else {
      return Usage();
    }
  }
  if (output.empty()) return Usage();

  try {
    std::map<std::string, std::string> namesSeen;
    for (auto& blob : blobs) {
      if (blob.name.empty()) Fail(blob.path, "an RCDATA name must not be empty");
      for (unsigned char c : blob.name) {
        if (c < 0x20 || c == 0x7F) Fail(blob.path, "control character in RCDATA name");
      }
      auto [it, added] = namesSeen.emplace(Upper(blob.name), blob.path);
      if (!added) {
        Fail(blob.path, "RCDATA name " + blob.name + " is already used for " + it->second);
      }
      blob.data = ReadWholeFile(blob.path);
      if (blob.data.size() > 0xFFFFFFFFu) Fail(blob.path, "file too large for a resource");
    }
    std::map<std::uint32_t, StringEntry> strings;
    for (const auto& file : stringFiles) ParseStrings(file, strings);
    WriteOutput(output, Generate(blobs, strings, inputs));
  } catch (const Failure& failure) {
    std::fprintf(stderr, "resgen: %s\n", failure.message.c_str());
    return 1;
  }
  return 0;
}
