// mvtrack_json.h - a small strict JSON reader for the mvtrack tests (RFC 8259
// grammar: no trailing commas, no NaN, no leading zeros, escapes checked),
// so the output is checked without tools the machine may lack.
#ifndef MVTRACK_TEST_JSON_H
#define MVTRACK_TEST_JSON_H

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace json {

struct Value {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool b = false;
    double n = 0;
    std::string s;
    std::vector<Value> a;
    std::map<std::string, Value> o;

    bool has(const std::string &k) const { return kind == Object && o.count(k) > 0; }
    const Value &operator[](const std::string &k) const { return o.at(k); }
    const Value &operator[](size_t i) const { return a.at(i); }
};

class Parser {
public:
    explicit Parser(const std::string &t) : t_(t) {}

    // The single value filling the whole text (blanks around it allowed).
    bool parse(Value *v, std::string *error)
    {
        ws();
        if (!value(v, 0) || (ws(), i_ != t_.size())) {
            *error = "invalid JSON at offset " + std::to_string(i_) + ": " + t_.substr(i_, 30);
            return false;
        }
        return true;
    }

private:
    const std::string &t_;
    size_t i_ = 0;

    char peek() const { return i_ < t_.size() ? t_[i_] : '\0'; }
    void ws()
    {
        while (i_ < t_.size() && (t_[i_] == ' ' || t_[i_] == '\t' || t_[i_] == '\n' || t_[i_] == '\r')) i_++;
    }
    bool lit(const char *w)
    {
        const std::string s(w);
        if (t_.compare(i_, s.size(), s) != 0) return false;
        i_ += s.size();
        return true;
    }
    static bool digit(char c) { return c >= '0' && c <= '9'; }

    bool number(Value *v)
    {
        const size_t start = i_;
        if (peek() == '-') i_++;
        if (peek() == '0') i_++;
        else if (digit(peek())) while (digit(peek())) i_++;
        else return false;
        if (peek() == '.') {
            i_++;
            if (!digit(peek())) return false;
            while (digit(peek())) i_++;
        }
        if (peek() == 'e' || peek() == 'E') {
            i_++;
            if (peek() == '+' || peek() == '-') i_++;
            if (!digit(peek())) return false;
            while (digit(peek())) i_++;
        }
        v->kind = Value::Number;
        v->n = std::strtod(t_.substr(start, i_ - start).c_str(), nullptr);
        return true;
    }

    bool string(std::string *out)
    {
        if (peek() != '"') return false;
        i_++;
        for (;;) {
            if (i_ >= t_.size()) return false;
            const unsigned char c = static_cast<unsigned char>(t_[i_++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c != '\\') {
                *out += static_cast<char>(c);
                continue;
            }
            const char e = peek();
            i_++;
            switch (e) {
            case '"': *out += '"'; break;
            case '\\': *out += '\\'; break;
            case '/': *out += '/'; break;
            case 'b': *out += '\b'; break;
            case 'f': *out += '\f'; break;
            case 'n': *out += '\n'; break;
            case 'r': *out += '\r'; break;
            case 't': *out += '\t'; break;
            case 'u':
                for (int k = 0; k < 4; k++)
                    if (!std::isxdigit(static_cast<unsigned char>(peek()))) return false;
                    else i_++;
                *out += '?';   // the tests never look inside escapes
                break;
            default: return false;
            }
        }
    }

    bool value(Value *v, int depth)
    {
        if (depth > 64) return false;
        const char c = peek();
        if (c == '{') {
            i_++;
            v->kind = Value::Object;
            ws();
            if (peek() == '}') { i_++; return true; }
            for (;;) {
                std::string key;
                ws();
                if (!string(&key)) return false;
                ws();
                if (peek() != ':') return false;
                i_++;
                ws();
                Value item;
                if (!value(&item, depth + 1) || v->o.count(key)) return false;   // no duplicate keys
                v->o[key] = item;
                ws();
                if (peek() == ',') { i_++; continue; }
                if (peek() == '}') { i_++; return true; }
                return false;
            }
        }
        if (c == '[') {
            i_++;
            v->kind = Value::Array;
            ws();
            if (peek() == ']') { i_++; return true; }
            for (;;) {
                ws();
                Value item;
                if (!value(&item, depth + 1)) return false;
                v->a.push_back(item);
                ws();
                if (peek() == ',') { i_++; continue; }
                if (peek() == ']') { i_++; return true; }
                return false;
            }
        }
        if (c == '"') {
            v->kind = Value::String;
            return string(&v->s);
        }
        if (lit("null")) { v->kind = Value::Null; return true; }
        if (lit("true")) { v->kind = Value::Bool; v->b = true; return true; }
        if (lit("false")) { v->kind = Value::Bool; v->b = false; return true; }
        return number(v);
    }
};

}  // namespace json

#endif
