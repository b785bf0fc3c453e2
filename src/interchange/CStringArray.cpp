#include "interchange/CStringArray.h"

#include <utility>

int CStringArray::GetSize() const
{
    return static_cast<int>(mStrings.size());
}

const char* CStringArray::GetAt(int index) const
{
    if (index < 0 || index >= GetSize())
        return nullptr;
    return mStrings[static_cast<std::size_t>(index)].c_str();
}

void CStringArray::Add(std::string_view text)
{
    // Copied first: text may point into this list.
    std::string copy(text);
    mStrings.push_back(std::move(copy));
}

void CStringArray::SetAt(int index, std::string_view text)
{
    if (index < 0 || index >= GetSize())
        return;
    mStrings[static_cast<std::size_t>(index)].assign(text);
}

std::string_view CStringArray::ViewAt(int index) const
{
    if (index < 0 || index >= GetSize())
        return {};
    return mStrings[static_cast<std::size_t>(index)];
}

std::size_t CStringArray::ArraySize() const
{
    std::size_t size = 0;
    for (const auto& s : mStrings)
        size += s.size() + 1;
    return size;
}
