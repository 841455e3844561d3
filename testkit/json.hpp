// A small JSON reader for the tests that read glTF files back: values as a
// tree, numbers as doubles, strings with their escapes undone (as UTF-8).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace testkit {

struct json {
    enum kind_t { null, boolean, number, string, array, object } kind = null;
    bool flag = false;
    double value = 0;
    std::string text;
    std::vector<json> items;
    std::map<std::string, json> members;

    bool has(const std::string& key) const { return members.count(key) != 0; }
    const json& operator[](const std::string& key) const {
        const auto found = members.find(key);
        if (found == members.end()) throw std::runtime_error("no member " + key);
        return found->second;
    }
    const json& operator[](std::size_t i) const { return items.at(i); }
    std::size_t size() const { return kind == array ? items.size() : members.size(); }
    std::size_t index() const { return static_cast<std::size_t>(value); }
};

namespace json_detail {

inline void skip_space(const std::string& s, std::size_t& at) {
    while (at < s.size() && (s[at] == ' ' || s[at] == '\n' || s[at] == '\r' || s[at] == '\t')) ++at;
}

inline void put_utf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

inline std::string parse_string(const std::string& s, std::size_t& at) {
    std::string out;
    ++at;  // the opening quote
    while (at < s.size() && s[at] != '"') {
        if (s[at] != '\\') {
            out += s[at++];
            continue;
        }
        const char e = s.at(at + 1);
        at += 2;
        switch (e) {
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case 'b':
            out += '\b';
            break;
        case 'f':
            out += '\f';
            break;
        case 'u':
            put_utf8(out, static_cast<std::uint32_t>(std::stoul(s.substr(at, 4), nullptr, 16)));
            at += 4;
            break;
        default:
            out += e;
            break;
        }
    }
    if (at >= s.size()) throw std::runtime_error("unterminated string");
    ++at;
    return out;
}

inline json parse_value(const std::string& s, std::size_t& at) {
    skip_space(s, at);
    if (at >= s.size()) throw std::runtime_error("unexpected end");
    json v;
    const char c = s[at];
    if (c == '{' || c == '[') {
        v.kind = c == '{' ? json::object : json::array;
        ++at;
        skip_space(s, at);
        if (s.at(at) == (c == '{' ? '}' : ']')) {
            ++at;
            return v;
        }
        for (;;) {
            if (c == '{') {
                skip_space(s, at);
                const std::string key = parse_string(s, at);
                skip_space(s, at);
                if (s.at(at++) != ':') throw std::runtime_error("no colon");
                v.members[key] = parse_value(s, at);
            } else {
                v.items.push_back(parse_value(s, at));
            }
            skip_space(s, at);
            const char next = s.at(at++);
            if (next == ',') continue;
            if (next == (c == '{' ? '}' : ']')) return v;
            throw std::runtime_error("bad separator");
        }
    }
    if (c == '"') {
        v.kind = json::string;
        v.text = parse_string(s, at);
    } else if (s.compare(at, 4, "true") == 0 || s.compare(at, 5, "false") == 0) {
        v.kind = json::boolean;
        v.flag = s[at] == 't';
        at += v.flag ? 4 : 5;
    } else if (s.compare(at, 4, "null") == 0) {
        at += 4;
    } else {
        v.kind = json::number;
        const char* start = s.c_str() + at;
        char* end = nullptr;
        v.value = std::strtod(start, &end);
        if (end == start) throw std::runtime_error("bad value at " + std::to_string(at));
        at += static_cast<std::size_t>(end - start);
    }
    return v;
}

}  // namespace json_detail

// The value of the JSON text `s`; throws std::runtime_error when it is not
// JSON.
inline json parse_json(const std::string& s) {
    std::size_t at = 0;
    json v = json_detail::parse_value(s, at);
    json_detail::skip_space(s, at);
    if (at != s.size()) throw std::runtime_error("text after the value");
    return v;
}

}  // namespace testkit
