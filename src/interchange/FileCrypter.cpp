#include "interchange/FileCrypter.h"

#include "interchange/TextEncoding.h"

void TVXFileCrypter::ContextWiper::operator()(BlowfishContext* context) const
{
    Blowfish_Clear(*context);
    delete context;
}

TVXFileCrypter::TVXFileCrypter() = default;

TVXFileCrypter::TVXFileCrypter(std::string_view passKey)
    : mContext(new BlowfishContext)
{
    std::string key = keyBytesForPassKey(passKey);
    Blowfish_Init(*mContext, key.data(), key.size());
    for (char& c : key)
        reinterpret_cast<volatile char&>(c) = 0;
}

TVXFileCrypter::TVXFileCrypter(const BlowfishContext& context)
    : mContext(new BlowfishContext(context))
{
}

TVXFileCrypter::~TVXFileCrypter() = default;

std::string TVXFileCrypter::keyBytesForPassKey(std::string_view passKey)
{
    std::string utf8 = DecodeTextBytes(passKey);
    utf8.resize(UTF16Length(utf8));
    return utf8;
}

bool TVXFileCrypter::encryptData(std::string& data) const
{
    return transform(data, true);
}

bool TVXFileCrypter::decryptData(std::string& data) const
{
    return transform(data, false);
}

bool TVXFileCrypter::transform(std::string& data, bool encrypt) const
{
    if (!mContext)
        return false;
    const std::size_t remainder = data.size() % 8;
    if (remainder != 0)
        data.append(8 - remainder, '\0');
    Blowfish(*mContext, data.data(), data.size(), encrypt);
    return true;
}
