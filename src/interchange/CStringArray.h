#pragma once
// An ordered list of byte strings: the values, field names and attachment
// fields of one line of an interchange file.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class CStringArray {
public:
    CStringArray() = default;
    CStringArray(const CStringArray&) = default;
    CStringArray(CStringArray&&) = default;
    CStringArray& operator=(const CStringArray&) = default;
    CStringArray& operator=(CStringArray&&) = default;
    virtual ~CStringArray() = default;

    virtual int GetSize() const;
    // The string at index, zero-terminated, or null when index is negative or
    // not below the count. Valid until the list next changes.
    virtual const char* GetAt(int index) const;
    virtual void Add(std::string_view text);
    // Replaces the string at index; an index outside the list does nothing.
    virtual void SetAt(int index, std::string_view text);

    // A null text is stored as the empty string.
    void Add(const char* text) { Add(std::string_view(text ? text : "")); }
    void SetAt(int index, const char* text) { SetAt(index, std::string_view(text ? text : "")); }

    // The whole string at index (empty outside the list), zero bytes included.
    std::string_view ViewAt(int index) const;

    // Bytes the strings take packed back to back, each with its terminator.
    std::size_t ArraySize() const;

    void RemoveAll() { mStrings.clear(); }

private:
    std::vector<std::string> mStrings;
};
