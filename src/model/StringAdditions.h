#pragma once
// Small additions to strings that storage and settings rely on.
#include <QString>

#include <istream>
#include <string>
#include <string_view>

// NUL-ended text read as UTF-8; text that is not valid UTF-8 is read as Mac OS Roman,
// the encoding older stores and files used for such text. A null pointer gives an empty string.
QString stringWithSpecialCharacters(const char* text);

// Bytes read as Mac OS Roman (every byte is one character; 0x00-0x7F are ASCII).
QString stringWithMacOSRoman(std::string_view bytes);
// The Unicode code point of one Mac OS Roman byte.
char16_t macOSRomanToUnicode(unsigned char byte);

// True when the text parses as a dotted IPv4 address (inet_pton with AF_INET).
bool isvalidIPv4Address(const QString& text);

// Whether the store gives the text back as it was written. Readers stop at a
// zero character; a lone surrogate has no UTF-8 form (it would be stored as
// '?'); a leading byte-order mark is taken for the encoding's mark and dropped.
bool isStorableText(const QString& text);
// The text without what the store cannot give back as it was typed.
QString storableText(const QString& text);

// The string's bytes read as UTF-8.
QString stringWithSTDString(const std::string& text);

// One blank-delimited word extracted from the stream, read as UTF-8. A null stream,
// or one with no word left, gives an empty string.
QString stringWithSTDStreamPtr(std::istream* stream);
