#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// Splits a fuzzer's bytes into the pieces a target needs.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return pos_ >= size_; }
    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    double number()
    {
        double d = 0;
        if (size_ - pos_ >= sizeof d) {
            std::memcpy(&d, data_ + pos_, sizeof d);
            pos_ += sizeof d;
        }
        return d;
    }
    // Up to the next NUL byte (or the end) as UTF-8.
    QString text()
    {
        const size_t start = pos_;
        while (pos_ < size_ && data_[pos_] != 0)
            ++pos_;
        const QString s = QString::fromUtf8(reinterpret_cast<const char*>(data_ + start), qsizetype(pos_ - start));
        if (pos_ < size_)
            ++pos_;
        return s;
    }
    QString rest()
    {
        const QString s = QString::fromUtf8(reinterpret_cast<const char*>(data_ + pos_), qsizetype(size_ - pos_));
        pos_ = size_;
        return s;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// A broken property: report it and stop, so libFuzzer keeps the input.
#define FUZZ_CHECK(cond, what)                                                   \
    do {                                                                         \
        if (!(cond)) {                                                           \
            fprintf(stderr, "property failed: %s: %s\n", #cond, qPrintable(what)); \
            abort();                                                             \
        }                                                                        \
    } while (0)
