#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

namespace brindmar {

// An image file opened for reading by the program itself, outside the engine. Only ordinary
// files are opened: a FIFO or a device named like a BMP must not stall or feed the reader.
class CarrierFile {
public:
    explicit CarrierFile(const QString& path);
    ~CarrierFile();
    CarrierFile(const CarrierFile&) = delete;
    CarrierFile& operator=(const CarrierFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int64_t size() const { return m_size; }

    // Up to length bytes at offset; the count actually read.
    size_t readAt(int64_t offset, unsigned char* buffer, size_t length) const;

private:
    int m_fd = -1;
    int64_t m_size = 0;
};

} // namespace brindmar
