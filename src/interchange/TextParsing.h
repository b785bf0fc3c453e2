#pragma once
// Readers and writers of the text of interchange files, field by field.
//
// Readers take a position in a zero-terminated text (std::string::c_str() of
// the whole file) and return the position behind what they consumed; the
// text ends at its first zero byte. Writers append to a line being built, so
// no line or field has a size limit unless the caller asks for one; where a
// limit is asked for, a cut is reported and never falls inside a UTF-8
// character.
//
// Plain field encoding: a field holding a comma, a double quote or a carriage
// return is written in double quotes, each quote doubled; line feeds are
// dropped. On reading, white space before a field is skipped; a quoted field
// runs to its closing quote (a doubled quote reads as one); a bare field ends
// at a comma, CR or LF; a vertical tab reads as a CR.
#include <cstddef>
#include <string>
#include <string_view>

inline constexpr std::size_t kNoLengthLimit = std::string::npos;

inline bool IsLineEndChar(char c) { return c == '\r' || c == '\n'; }
// True at CR, LF or the end of the text.
inline bool AtLineEnd(const char* pos) { return *pos == '\0' || IsLineEndChar(*pos); }

// Skips blanks, tabs, vertical tabs, form feeds, CR and LF; with
// stopAtLineEnd it stops at CR, LF or the end.
const char* SkipWhiteSp(const char* pos, bool stopAtLineEnd = false);
// Skips a run of CR and LF bytes.
const char* SkipReturns(const char* pos);
// Skips to the next line end and then over the whole run of line ends.
const char* SkipLine(const char* pos);

// The next non-empty line without its end (CR, LF or CR LF) into out;
// returns the start of the following line. At most maxBytes are kept: a
// longer line is cut at a character boundary, *wasCut (when given) says so,
// and the rest of the line is still consumed.
const char* GetNextLine(const char* pos, std::string& out,
                        std::size_t maxBytes = kNoLengthLimit, bool* wasCut = nullptr);

// One field in the plain encoding into out; steps over one following comma
// and then over white space other than line ends. White space before the
// field, line ends included, is skipped: callers test AtLineEnd first when a
// line may end before the field. maxBytes and wasCut as for GetNextLine; the
// whole field is consumed either way. Text after a closing quote up to the
// next comma or line end (malformed) is kept as part of the value, unless it
// is only blanks and tabs.
const char* GetNextField(const char* pos, std::string& out,
                         std::size_t maxBytes = kNoLengthLimit, bool* wasCut = nullptr);

// A field read as the decimal number at its start (0 when there is none;
// out-of-range values are clamped).
const char* ReadNumber(const char* pos, long& number);
// A field that is true when its first character is "T".
const char* ReadBool(const char* pos, bool& flag);

// After blanks and tabs, pairs of hexadecimal digits ("0"-"9", "A"-"F" only)
// as bytes, high nibble first, up to the first other character; an odd last
// digit is dropped. out may be the string whose text is being read.
const char* ReadHexBytes(const char* pos, std::string& out);

bool HasHeader(std::string_view text, std::string_view header);
// False when a byte below 32 other than TAB, LF, VT, FF, CR and 29 occurs.
bool IsTextFile(std::string_view text);

void WriteString(std::string& out, std::string_view text);
void WriteBool(std::string& out, bool flag, bool comma);
void WriteNumber(std::string& out, long value, bool comma);
void WriteHexBytes(std::string& out, const void* bytes, std::size_t count, bool comma);
inline void WriteHexBytes(std::string& out, std::string_view bytes, bool comma)
{
    WriteHexBytes(out, bytes.data(), bytes.size(), comma);
}

// Appends one field in the plain encoding; returns false when it had to be
// cut to fit maxBytes (quotes included). The text ends at its first zero
// byte. A text beginning with white space is quoted as well, so that its
// leading blanks survive reading. Control bytes that would make the file
// read as binary (below 32 other than TAB, VT, FF, CR and 29) are dropped
// like line feeds.
bool FormatCSVField(std::string_view text, std::string& out,
                    std::size_t maxBytes = kNoLengthLimit);
