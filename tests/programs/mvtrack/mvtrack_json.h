// mvtrack_json.h - a small strict JSON reader for the mvtrack tests (no
// trailing commas, NaN, leading zeros, raw control characters, bad escapes
// or duplicate keys), so the output is checked without outside tools.
#ifndef MVTRACK_TEST_JSON_H
#define MVTRACK_TEST_JSON_H

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace json {

struct Value {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    double n = 0;
    std::string s;
    std::vector<Value> a;
    std::map<std::string, Value> o;
    const Value &operator[](const std::string &k) const { return o.at(k); }
    const Value &operator[](size_t i) const { return a.at(i); }
};

// Parses `t` as exactly one value (blanks around it allowed).
inline bool parse(const std::string &t, Value *out)
{
    size_t i = 0;
    auto ws = [&] { while (i < t.size() && t[i] && strchr(" \t\n\r", t[i])) i++; };
    auto eat = [&](char c) { return ws(), i < t.size() && t[i] == c ? (i++, true) : false; };
    auto digits = [&] {
        const size_t s = i;
        while (i < t.size() && isdigit((unsigned char)t[i])) i++;
        return i > s;
    };
    auto str = [&](std::string *s) {
        if (!eat('"')) return false;
        for (; i < t.size(); i++) {
            const unsigned char c = t[i];
            if (c == '"') return ++i, true;
            if (c < 0x20) return false;
            if (c != '\\') { *s += (char)c; continue; }
            const std::string from = "\"\\/bfnrt", to = "\"\\/\b\f\n\r\t";
            const char e = i + 1 < t.size() ? t[++i] : 0;
            if (e == 'u') {
                for (int k = 0; k < 4; k++) if (!isxdigit((unsigned char)t[++i])) return false;
                *s += '?';  // the tests never look inside these
            } else if (!e || from.find(e) == std::string::npos) return false;
            else *s += to[from.find(e)];
        }
        return false;
    };
    std::function<bool(Value *, int)> value = [&](Value *v, int depth) {
        ws();
        if (depth > 64 || i >= t.size()) return false;
        const char c = t[i];
        if (c == '{' || c == '[') {
            i++;
            v->kind = c == '{' ? Value::Object : Value::Array;
            if (eat(c == '{' ? '}' : ']')) return true;
            do {
                std::string key;
                Value item;
                if (c == '{' && (!str(&key) || !eat(':') || v->o.count(key))) return false;
                if (!value(&item, depth + 1)) return false;
                if (c == '{') v->o[key] = item; else v->a.push_back(item);
            } while (eat(','));
            return eat(c == '{' ? '}' : ']');
        }
        if (c == '"') return v->kind = Value::String, str(&v->s);
        for (const char *w : {"null", "true", "false"})
            if (t.compare(i, strlen(w), w) == 0) {
                i += strlen(w);
                v->kind = *w == 'n' ? Value::Null : Value::Bool;
                return true;
            }
        const size_t start = i;
        if (t[i] == '-') i++;
        if (i < t.size() && t[i] == '0') i++;
        else if (!digits()) return false;
        if (i < t.size() && t[i] == '.' && (++i, !digits())) return false;
        if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
            if (++i < t.size() && (t[i] == '+' || t[i] == '-')) i++;
            if (!digits()) return false;
        }
        v->kind = Value::Number;
        v->n = strtod(t.c_str() + start, nullptr);
        return true;
    };
    *out = Value();
    return value(out, 0) && (ws(), i == t.size());
}

}  // namespace json

#endif
