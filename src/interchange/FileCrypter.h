#pragma once
// Enciphers attachment side files in place with Blowfish (ECB) under the
// attachment's pass key.
#include "interchange/Blowfish.h"

#include <memory>
#include <string>
#include <string_view>

class TVXFileCrypter {
public:
    // No key: both operations leave the data alone and return false.
    TVXFileCrypter();
    // Keyed with a pass key given as UTF-8. The key is the first n bytes of
    // its UTF-8 form, n being its length in UTF-16 code units: all of it for
    // the ASCII pass keys the system makes, a prefix otherwise (side files
    // already written depend on this). Bytes that are not valid UTF-8 are
    // taken as Mac OS Roman text first.
    explicit TVXFileCrypter(std::string_view passKey);
    // A copy of a keyed context.
    explicit TVXFileCrypter(const BlowfishContext& context);
    ~TVXFileCrypter();

    TVXFileCrypter(TVXFileCrypter&&) noexcept = default;
    TVXFileCrypter& operator=(TVXFileCrypter&&) noexcept = default;
    TVXFileCrypter(const TVXFileCrypter&) = delete;
    TVXFileCrypter& operator=(const TVXFileCrypter&) = delete;

    bool hasContext() const { return mContext != nullptr; }

    // In place. A length that is not a multiple of 8 is padded with zero bytes
    // to the next multiple before the last block is enciphered, so the data
    // grows by up to 7 bytes. Returns false, data untouched, without a key.
    bool encryptData(std::string& data) const;
    // In place; the zero padding added by encryptData stays at the end.
    bool decryptData(std::string& data) const;

    // The key bytes a pass key gives (see the constructor).
    static std::string keyBytesForPassKey(std::string_view passKey);

private:
    bool transform(std::string& data, bool encrypt) const;

    struct ContextWiper {
        void operator()(BlowfishContext* context) const;
    };
    std::unique_ptr<BlowfishContext, ContextWiper> mContext;
};
