// The shared INF texts: see fixture_text.h.
#include "fixture_text.h"

#include <stdio.h>
#include <stdlib.h>

#include <fstream>
#include <map>
#include <sstream>

namespace fx {

namespace {

// A fixture that cannot be read or makes no sense stops the tests at once.
[[noreturn]] void broken(const std::string& what) {
    fprintf(stderr, "tests/fixtures: %s\n", what.c_str());
    abort();
}

std::string read_fixture(const std::string& name) {
    std::ifstream in(std::string(TAMRIX_FIXTURES_DIR) + "/" + name, std::ios::binary);
    if (!in) broken("cannot read " + name);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

struct groups {
    std::vector<std::string> names;
    std::map<std::string, std::vector<std::string>> lines;
};

const groups& the_groups() {
    static const groups g = [] {
        groups read;
        std::vector<std::string>* current = nullptr;
        for (const std::string& line : split_lines(read_fixture("template_lines.txt"))) {
            if (line.empty() || line[0] == '#') continue;
            if (line[0] == '@') {
                read.names.push_back(line.substr(1));
                current = &read.lines[line.substr(1)];
            } else if (current == nullptr) {
                broken("template_lines.txt: a line before the first group");
            } else {
                current->push_back(line);
            }
        }
        return read;
    }();
    return g;
}

std::vector<int> numbers_of(const std::string& ranges, size_t count) {
    std::vector<int> numbers;
    std::istringstream items(ranges);
    for (std::string range; std::getline(items, range, ',');) {
        size_t dash = range.find('-');
        int first = atoi(range.c_str());
        int last = dash == std::string::npos ? first : atoi(range.c_str() + dash + 1);
        for (int n = first; n <= last; n++) numbers.push_back(n);
    }
    for (int n : numbers)
        if (n < 1 || (size_t)n > count) broken("no line " + std::to_string(n) + " in " + ranges);
    return numbers;
}

std::string lines_of(const std::string& group, const std::vector<int>& only, bool with_mark) {
    const std::vector<std::string>& lines = group_lines(group);
    std::string out;
    for (size_t i = 0; i < lines.size(); i++) {
        bool chosen = only.empty();
        for (int n : only) chosen = chosen || (size_t)n == i + 1;
        if (chosen) out += lines[i] + (with_mark ? ";Tamrix\n" : "\n");
    }
    return out;
}

}  // namespace

const std::vector<std::string>& group_names() { return the_groups().names; }

const std::vector<std::string>& group_lines(const std::string& group) {
    auto it = the_groups().lines.find(group);
    if (it == the_groups().lines.end()) broken("no group " + group);
    return it->second;
}

std::string marked(const std::string& group, std::initializer_list<int> only) {
    return lines_of(group, only, true);
}

std::string plain(const std::string& group, std::initializer_list<int> only) {
    return lines_of(group, only, false);
}

std::string expand(const std::string& text) {
    std::vector<std::string> lines = split_lines(text);
    std::string out;
    for (size_t i = 0; i < lines.size(); i++) {
        const std::string& line = lines[i];
        bool last = i + 1 == lines.size();
        if (line.empty() || line[0] != '@') {
            out += line + (last ? "" : "\n");
            continue;
        }
        std::istringstream words(line.substr(1));
        std::string group, ranges, mark, more;
        words >> group >> ranges >> mark >> more;
        if (ranges == "unmarked") std::swap(ranges, mark);
        if ((!mark.empty() && mark != "unmarked") || !more.empty()) broken("placeholder " + line);
        std::vector<int> only = ranges.empty() ? std::vector<int>()
                                               : numbers_of(ranges, group_lines(group).size());
        std::string added = lines_of(group, only, mark.empty());
        if (last) added.pop_back();  // the placeholder had no line end either
        out += added;
    }
    return out;
}

std::string dos(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string fixture(const std::string& name) { return dos(expand(read_fixture(name))); }

std::string escaped(const std::string& bytes, bool as_lines) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += as_lines ? "\\n\n" : "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (!as_lines && (c == '\\' || c == '"')) {
            out += '\\';
            out += (char)c;
        } else if (c < 0x20 || c >= 0x7F) {
            out += "\\x";
            out += digits[c >> 4];
            out += digits[c & 15];
        } else {
            out += (char)c;
        }
    }
    return out;
}

}  // namespace fx
