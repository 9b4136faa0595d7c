// Reads the per-frame JSON traces of the G.723.1 reference material.
#pragma once

#include <cctype>
#include <map>
#include <string>
#include <vector>

namespace qmtest {

using Flat = std::map<std::string, std::vector<long long>>;

// Flattens one JSON object of numbers, booleans (1, 0), arrays and hex
// strings into "path" -> numbers; objects inside arrays get their index in
// the path, and null gives a path without numbers.
class FlatJson {
  public:
    explicit FlatJson(const std::string& s) : s_(s) {}
    bool Parse(Flat& out) {
        out_ = &out;
        return Value("") && (Skip(), pos_ == s_.size());
    }

  private:
    void Skip() {
        while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    }
    bool Value(const std::string& path) {
        Skip();
        if (pos_ >= s_.size()) return false;
        char c = s_[pos_];
        if (c == '{') {
            ++pos_;
            Skip();
            if (s_[pos_] == '}') return ++pos_, true;
            for (;;) {
                Skip();
                if (s_[pos_] != '"') return false;
                size_t end = s_.find('"', pos_ + 1);
                if (end == std::string::npos) return false;
                std::string key = s_.substr(pos_ + 1, end - pos_ - 1);
                pos_ = end + 1;
                Skip();
                if (s_[pos_++] != ':') return false;
                if (!Value(path.empty() ? key : path + "." + key)) return false;
                Skip();
                if (s_[pos_] == ',') {
                    ++pos_;
                    continue;
                }
                return s_[pos_++] == '}';
            }
        }
        if (c == '[') {
            ++pos_;
            int index = 0;
            Skip();
            if (s_[pos_] == ']') return ++pos_, true;
            for (;;) {
                Skip();
                std::string sub = s_[pos_] == '{' ? path + "." + std::to_string(index) : path;
                if (!Value(sub)) return false;
                ++index;
                Skip();
                if (s_[pos_] == ',') {
                    ++pos_;
                    continue;
                }
                return s_[pos_++] == ']';
            }
        }
        if (s_.compare(pos_, 4, "null") == 0) {  // present, without a value
            (*out_)[path];
            pos_ += 4;
            return true;
        }
        if (s_.compare(pos_, 4, "true") == 0 || s_.compare(pos_, 5, "false") == 0) {
            const bool t = s_[pos_] == 't';
            (*out_)[path].push_back(t ? 1 : 0);
            pos_ += t ? 4 : 5;
            return true;
        }
        if (c == '"') {
            size_t end = s_.find('"', pos_ + 1);
            if (end == std::string::npos) return false;
            std::string hex = s_.substr(pos_ + 1, end - pos_ - 1);
            for (size_t i = 0; i + 1 < hex.size(); i += 2)
                (*out_)[path].push_back(std::stoll(hex.substr(i, 2), nullptr, 16));
            pos_ = end + 1;
            return true;
        }
        size_t used = 0;
        long long v = std::stoll(s_.substr(pos_, 24), &used);
        pos_ += used;
        (*out_)[path].push_back(v);
        return true;
    }
    const std::string& s_;
    size_t pos_ = 0;
    Flat* out_ = nullptr;
};

template <typename T>
std::vector<long long> Vec(const T* p, size_t n) {
    return std::vector<long long>(p, p + n);
}

}  // namespace qmtest
