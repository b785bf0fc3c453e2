#pragma once
// The text encodings met in interchange files. Files are written as UTF-8;
// files from older Mac clients may hold Mac OS Roman instead, so bytes that
// are not valid UTF-8 are read as Mac OS Roman. The Mac OS Roman table lives
// here and nowhere else.
#include <cstddef>
#include <string>
#include <string_view>

// Length of the well-formed UTF-8 sequence at the start of text (1 to 4), or 0
// when the bytes there are not one (stray continuation byte, overlong form,
// surrogate, beyond U+10FFFF, cut short). 0 also for an empty text.
std::size_t UTF8SequenceLength(std::string_view text);

bool IsValidUTF8(std::string_view bytes);

// The Unicode character of one Mac OS Roman byte (bytes below 128 are ASCII).
char32_t MacRomanToUnicode(unsigned char byte);

void AppendUTF8(std::string& out, char32_t character);

// Every byte taken as Mac OS Roman; the result is UTF-8.
std::string MacRomanToUTF8(std::string_view bytes);

// Bytes read from a file as text: valid UTF-8 as it is, anything else as
// Mac OS Roman. The result is always valid UTF-8.
std::string DecodeTextBytes(std::string_view bytes);

// The longest prefix of text, at most maxBytes long, that does not end inside
// a UTF-8 character. Bytes outside well-formed sequences count as characters
// of one byte each, so text that is not UTF-8 is cut at maxBytes.
std::size_t UTF8CutLength(std::string_view text, std::size_t maxBytes);

// Number of UTF-16 code units of a UTF-8 text (the character count a QString
// reports). Bytes outside well-formed sequences count one unit each.
std::size_t UTF16Length(std::string_view utf8);
