#include "interchange/CString.h"

#include <utility>

CString::CString(const std::string& text) : mText(text) {}

CString::CString(std::string&& text) : mText(std::move(text)) {}

CString::CString(const char* text) : mText(text ? text : "") {}

CString& CString::operator=(const char* text)
{
    mText = text ? text : "";
    return *this;
}

CString& CString::operator=(const std::string& text)
{
    mText = text;
    return *this;
}
