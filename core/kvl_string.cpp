// KVLString: C-heap byte strings with printf-style formatting.
#include "core/kvl_string.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

char* DuplicateText(const char* text) {
    const size_t n = std::strlen(text);
    char* copy = static_cast<char*>(std::malloc(n + 1));
    if (copy == nullptr) {
        throw std::bad_alloc();
    }
    std::memcpy(copy, text, n + 1);
    return copy;
}

// n+1 bytes: the first n bytes of text with strncpy semantics, byte n set to 0.
char* CopyPrefix(const char* text, int n) {
    if (n < 0) {
        n = 0;
    }
    char* copy = static_cast<char*>(std::malloc(static_cast<size_t>(n) + 1));
    if (copy == nullptr) {
        throw std::bad_alloc();
    }
    std::strncpy(copy, text, static_cast<size_t>(n));
    copy[n] = '\0';
    return copy;
}

}  // namespace

KVLString::KVLString() : m_text(DuplicateText("")) {}

KVLString::KVLString(const char* text) : m_text(DuplicateText(text != nullptr ? text : "")) {}

KVLString::KVLString(const char* text, int n) : m_text(CopyPrefix(text != nullptr ? text : "", n)) {}

KVLString::KVLString(const KVLString& other) : m_text(DuplicateText(other.m_text)) {}

KVLString::KVLString(KVLString&& other) noexcept : m_text(other.m_text) {
    // The moved-from string must stay a valid empty string; a static empty text
    // cannot be used because every buffer is freed, so take one from the heap.
    other.m_text = static_cast<char*>(std::malloc(1));
    if (other.m_text == nullptr) {
        std::abort();
    }
    other.m_text[0] = '\0';
}

KVLString& KVLString::operator=(const KVLString& other) {
    if (this != &other) {
        char* copy = DuplicateText(other.m_text);
        std::free(m_text);
        m_text = copy;
    }
    return *this;
}

KVLString& KVLString::operator=(KVLString&& other) noexcept {
    if (this != &other) {
        char* tmp = m_text;
        m_text = other.m_text;
        other.m_text = tmp;
    }
    return *this;
}

KVLString& KVLString::operator=(const char* text) {
    // text may point into this string's own buffer: copy before freeing.
    char* copy = DuplicateText(text != nullptr ? text : "");
    std::free(m_text);
    m_text = copy;
    return *this;
}

KVLString::~KVLString() { std::free(m_text); }

int KVLString::GetLength() const { return static_cast<int>(std::strlen(m_text)); }

bool KVLString::operator==(const KVLString& other) const {
    return std::strcmp(m_text, other.m_text) == 0;
}

bool KVLString::operator==(const char* text) const {
    return std::strcmp(m_text, text != nullptr ? text : "") == 0;
}

bool KVLString::EqualsNoCase(const KVLString& other) const {
    const unsigned char* a = reinterpret_cast<const unsigned char*>(m_text);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(other.m_text);
    for (;; ++a, ++b) {
        int ca = *a;
        int cb = *b;
        if (ca >= 'A' && ca <= 'Z') ca += 'a' - 'A';
        if (cb >= 'A' && cb <= 'Z') cb += 'a' - 'A';
        if (ca != cb) {
            return false;
        }
        if (ca == 0) {
            return true;
        }
    }
}

int KVLString::ToInt() const {
    // atoi has undefined behaviour on overflow; parse by hand and saturate.
    const char* p = m_text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    long long value = 0;
    while (*p >= '0' && *p <= '9') {
        if (value <= static_cast<long long>(INT_MAX) + 1) {
            value = value * 10 + (*p - '0');
        }
        ++p;
    }
    if (negative) {
        value = -value;
    }
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

int KVLString::ReverseFind(char c) const {
    const char* p = std::strrchr(m_text, c);
    // strrchr finds the terminator for c == 0; the text has no such character.
    if (p == nullptr || c == '\0') {
        return -1;
    }
    return static_cast<int>(p - m_text);
}

KVLString KVLString::Mid(int start, int n) const {
    const int length = GetLength();
    if (start < 0) {
        start = 0;
    }
    if (start > length) {
        start = length;
    }
    return KVLString(m_text + start, n);
}

void KVLString::Clear() { m_text[0] = '\0'; }

void KVLString::RemoveLeft(int n) {
    const int length = GetLength();
    if (n <= 0) {
        return;
    }
    if (n > length) {
        n = length;
    }
    std::memmove(m_text, m_text + n, static_cast<size_t>(length - n) + 1);
}

int KVLString::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = FormatV(format, args);
    va_end(args);
    return result;
}

int KVLString::FormatV(const char* format, va_list args) {
    // Short texts go through a 4096-byte scratch buffer; longer ones are measured
    // and formatted again into a buffer of their own size, so nothing is cut.
    char scratch[4096] = {};
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(scratch, sizeof scratch, format, args);
    if (length < 0) {
        va_end(again);
        Clear();
        return 1;
    }
    if (static_cast<size_t>(length) < sizeof scratch) {
        char* grown = static_cast<char*>(std::realloc(m_text, static_cast<size_t>(length) + 1));
        if (grown == nullptr) {
            va_end(again);
            throw std::bad_alloc();
        }
        m_text = grown;
        std::memcpy(m_text, scratch, static_cast<size_t>(length) + 1);
    } else {
        // The arguments may point into this string's own text: format into a fresh
        // buffer and only then release the old one.
        char* fresh = static_cast<char*>(std::malloc(static_cast<size_t>(length) + 1));
        if (fresh == nullptr) {
            va_end(again);
            throw std::bad_alloc();
        }
        std::vsnprintf(fresh, static_cast<size_t>(length) + 1, format, again);
        std::free(m_text);
        m_text = fresh;
    }
    va_end(again);
    return length + 1;
}

void KVLSplitExtension(const KVLString& path, KVLString* base, KVLString* extension) {
    const int dot = path.ReverseFind('.');
    if (dot == -1) {
        if (base != nullptr) *base = path;
        if (extension != nullptr) extension->Clear();
        return;
    }
    // Compute both before assigning: base or extension may be the path itself.
    KVLString left = path.Left(dot);
    KVLString right = path;
    right.RemoveLeft(dot + 1);
    if (base != nullptr) *base = left;
    if (extension != nullptr) *extension = right;
}
