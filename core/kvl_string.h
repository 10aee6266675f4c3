// The engine's string: an owned, never-null, NUL-terminated byte string on the C heap
// with value semantics. Bytes are single-byte characters; the length is always
// computed from the terminator.
#pragma once

#include <cstdarg>
#include <cstddef>

class KVLString {
public:
    KVLString();
    KVLString(const char* text);  // NOLINT(google-explicit-constructor): text converts freely
    // The first n bytes of a character array, always terminated: for fixed-width text
    // fields of file formats. An early NUL ends the text (the rest is zero-filled).
    KVLString(const char* text, int n);
    KVLString(const KVLString& other);
    KVLString(KVLString&& other) noexcept;
    KVLString& operator=(const KVLString& other);
    KVLString& operator=(KVLString&& other) noexcept;
    KVLString& operator=(const char* text);
    ~KVLString();

    const char* c_str() const { return m_text; }
    int GetLength() const;
    bool IsEmpty() const { return m_text[0] == '\0'; }

    bool operator==(const KVLString& other) const;
    bool operator==(const char* text) const;
    bool operator!=(const KVLString& other) const { return !(*this == other); }
    bool operator!=(const char* text) const { return !(*this == text); }
    // Comparison with ASCII case folding (used for file extensions).
    bool EqualsNoCase(const KVLString& other) const;

    // Decimal value by atoi rules: leading blanks and sign, stops at the first
    // non-digit, 0 when there is none. Values beyond int32 saturate.
    int ToInt() const;
    // Index of the last occurrence of c, or -1.
    int ReverseFind(char c) const;
    // The n bytes beginning at start (fewer when the text ends earlier). Out-of-range
    // arguments are clamped to the text.
    KVLString Mid(int start, int n) const;
    KVLString Left(int n) const { return Mid(0, n); }
    // Empties the text; the buffer stays allocated.
    void Clear();
    // Drops the first n bytes in place (all of them when n passes the end).
    void RemoveLeft(int n);

    // printf-style formatting into the string, replacing its text. Returns the number
    // of bytes stored (length + 1). Text of any length is kept whole.
    int Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    int FormatV(const char* format, va_list args);

private:
    char* m_text;
};

// Splits a path at its last dot. base and extension are optional outputs. Without a
// dot, base is the whole path and the extension is empty.
void KVLSplitExtension(const KVLString& path, KVLString* base, KVLString* extension);
