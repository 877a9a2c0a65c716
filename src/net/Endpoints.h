#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace kivora::net {

// One value for a "%s" place of a URL template. Plain values are query-escaped
// when the URL is made; a pre-escaped value (the chat line, already form-escaped)
// goes in as it is.
struct UrlValue {
    UrlValue(std::string_view value) : text(value) {}
    UrlValue(const std::string& value) : text(value) {}
    UrlValue(const char* value) : text(value) {}

    std::string_view text;
    bool preEscaped = false;
};

inline UrlValue PreEscaped(std::string_view value)
{
    UrlValue v(value);
    v.preEscaped = true;
    return v;
}

// Fills the "%s" places of a template left to right with the values as they are.
// Places without a value stay as "%s"; values beyond the places are ignored.
std::string FormatTemplate(std::string_view tmpl, std::initializer_list<std::string_view> values);

// Escaping of the chat line: ASCII letters and digits stay, white space becomes
// "+", every other byte "%XX" with upper-case hex digits.
std::string FormEscape(std::string_view text);

// Escaping of every other template value: ASCII letters, digits and "-._~:/" stay,
// so ids, addresses and plain URLs go out byte for byte; every other byte becomes
// "%XX", which the server's query parsing decodes back to the value as typed.
std::string QueryEscape(std::string_view text);

// Loads string-table template id and fills it with the values, query-escaping
// each one unless it is marked pre-escaped.
std::string MakeUrl(int templateId, std::initializer_list<UrlValue> values);

} // namespace kivora::net
