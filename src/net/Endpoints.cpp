#include "Endpoints.h"

#include "res/Strings.h"

#include <vector>

namespace kivora::net {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool IsAsciiAlnum(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

void AppendPercent(std::string& out, unsigned char c)
{
    out.push_back('%');
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 0x0F]);
}

template <typename Values>
std::string Fill(std::string_view tmpl, const Values& values)
{
    std::string out;
    out.reserve(tmpl.size() + 64);
    auto next = values.begin();
    std::size_t position = 0;
    for (;;) {
        const std::size_t place = tmpl.find("%s", position);
        if (place == std::string_view::npos || next == values.end())
            break;
        out.append(tmpl.substr(position, place - position));
        out.append(*next++);
        position = place + 2;
    }
    out.append(tmpl.substr(position));
    return out;
}

} // namespace

std::string FormatTemplate(std::string_view tmpl, std::initializer_list<std::string_view> values)
{
    return Fill(tmpl, values);
}

std::string FormEscape(std::string_view text)
{
    std::string out;
    out.reserve(text.size() * 3);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsAsciiAlnum(c))
            out.push_back(ch);
        else if (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r')
            out.push_back('+');
        else
            AppendPercent(out, c);
    }
    return out;
}

std::string QueryEscape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsAsciiAlnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == ':' || c == '/')
            out.push_back(ch);
        else
            AppendPercent(out, c);
    }
    return out;
}

std::string MakeUrl(int templateId, std::initializer_list<UrlValue> values)
{
    std::vector<std::string> escaped;
    escaped.reserve(values.size());
    for (const UrlValue& v : values)
        escaped.push_back(v.preEscaped ? std::string(v.text) : QueryEscape(v.text));
    return Fill(res::LoadString(templateId), escaped);
}

} // namespace kivora::net
