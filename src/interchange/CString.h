#pragma once
// One owned, growable text of the interchange code. Its bytes are kept as
// given and handed back unchanged; texts of the model come in as their UTF-8
// form (QString::toStdString()).
#include <cstddef>
#include <string>
#include <string_view>

class CString {
public:
    CString() = default;
    CString(const std::string& text);
    CString(std::string&& text);
    // A null pointer makes the empty text.
    CString(const char* text);

    CString& operator=(const char* text);
    CString& operator=(const std::string& text);

    // The contents, zero-terminated; valid until the text next changes.
    operator const char*() const { return mText.c_str(); }

    const std::string& str() const { return mText; }
    std::size_t size() const { return mText.size(); }
    bool empty() const { return mText.empty(); }
    void clear() { mText.clear(); }

private:
    std::string mText;
};
