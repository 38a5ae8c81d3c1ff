#include "JpegCarriers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>
// clang-format off
#include <jpeglib.h>
// clang-format on

namespace {

std::vector<unsigned char> photograph(const JpegCarrierKind& kind) {
    std::mt19937 random(kind.seed);
    std::vector<unsigned char> rgb(size_t{kind.width} * kind.height * 3);
    const double cx = kind.width * (0.3 + 0.4 * static_cast<double>(random() % 100) / 100.0);
    const double cy = kind.height * (0.3 + 0.4 * static_cast<double>(random() % 100) / 100.0);
    const double radius = 0.25 * std::min(kind.width, kind.height) + 1;
    for (uint32_t y = 0; y < kind.height; ++y) {
        for (uint32_t x = 0; x < kind.width; ++x) {
            unsigned char* p = rgb.data() + (size_t{y} * kind.width + x) * 3;
            const bool disc = std::hypot(x - cx, y - cy) < radius;
            const bool textured = y > kind.height * 2 / 3;
            for (int c = 0; c < 3; ++c) {
                double v = 60 + 120.0 * y / kind.height + 20 * c;
                if (disc) {
                    v = 200 - 40 * c;
                }
                if (textured) {
                    v = 90 + 30 * c + static_cast<double>(random() % 61) - 30;
                }
                p[c] = static_cast<unsigned char>(std::clamp(v, 0.0, 255.0));
            }
        }
    }
    return rgb;
}

void put16(QByteArray& out, unsigned v, bool big) {
    if (big) {
        out.append(static_cast<char>(v >> 8)).append(static_cast<char>(v));
    } else {
        out.append(static_cast<char>(v)).append(static_cast<char>(v >> 8));
    }
}

void put32(QByteArray& out, uint32_t v, bool big) {
    put16(out, big ? v >> 16 : v & 0xffff, big);
    put16(out, big ? v & 0xffff : v >> 16, big);
}

void entry(QByteArray& out, unsigned tag, unsigned type, uint32_t count, uint32_t value, bool big) {
    put16(out, tag, big);
    put16(out, type, big);
    put32(out, count, big);
    put32(out, value, big);
}

} // namespace

QByteArray exifSegment(bool gps, bool big) {
    // TIFF block: header (8), IFD0 of two entries at 8 (2 + 24 + 4), GPS IFD at 38 of three
    // entries (2 + 36 + 4), the two coordinates' rationals at 80 and 104.
    QByteArray tiff(big ? "MM" : "II", 2);
    put16(tiff, 42, big);
    put32(tiff, 8, big);
    put16(tiff, 2, big);
    entry(tiff, 0x0112, 3, 1, big ? 1u << 16 : 1u, big); // orientation
    entry(tiff, gps ? 0x8825 : 0x0131, 4, 1, 38, big);
    put32(tiff, 0, big);
    put16(tiff, 3, big);
    entry(tiff, 0x0001, 2, 2, big ? uint32_t{'N'} << 24 : 'N', big);
    entry(tiff, 0x0002, 5, 3, 80, big);
    entry(tiff, 0x0004, 5, 3, 104, big);
    put32(tiff, 0, big);
    for (const uint32_t value : {48u, 1u, 51u, 1u, 3000u, 100u, 2u, 1u, 20u, 1u, 1500u, 100u}) {
        put32(tiff, value, big);
    }
    return QByteArray("Exif\0\0", 6) + tiff;
}

QByteArray makeJpeg(const JpegCarrierKind& kind) {
    jpeg_compress_struct out{};
    jpeg_error_mgr errors{};
    out.err = jpeg_std_error(&errors);
    jpeg_create_compress(&out);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&out, &buffer, &size);
    out.image_width = kind.width;
    out.image_height = kind.height;
    out.input_components = kind.grey ? 1 : 3;
    out.in_color_space = kind.grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&out);
    jpeg_set_quality(&out, kind.quality, TRUE);
    if (!kind.subsampled) {
        out.comp_info[0].h_samp_factor = 1;
        out.comp_info[0].v_samp_factor = 1;
    }
    out.optimize_coding = kind.optimized ? TRUE : FALSE;
    out.restart_in_rows = static_cast<int>(kind.restartRows);
    std::vector<jpeg_scan_info> bomb;
    if (kind.scanBomb) {
        bomb.push_back({out.num_components, {0, 1, 2, 0}, 0, 0, 0, 0});
        for (int pass = 0; pass < 2; ++pass) {
            for (int c = 0; c < out.num_components; ++c) {
                for (int k = 1; k < 64; ++k) {
                    bomb.push_back({1, {c, 0, 0, 0}, k, k, pass, 1 - pass});
                }
            }
        }
        out.scan_info = bomb.data();
        out.num_scans = static_cast<int>(bomb.size());
    } else if (kind.progressive) {
        jpeg_simple_progression(&out);
    }
    jpeg_start_compress(&out, TRUE);
    if (kind.exif) {
        const QByteArray exif = exifSegment(kind.gps, kind.seed % 2 == 0);
        jpeg_write_marker(&out, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(exif.constData()),
                          static_cast<unsigned>(exif.size()));
    }
    if (kind.icc) {
        QByteArray icc("ICC_PROFILE\0\1\1", 14);
        icc.append(QByteArray(300, '\x42'));
        jpeg_write_marker(&out, JPEG_APP0 + 2, reinterpret_cast<const JOCTET*>(icc.constData()),
                          static_cast<unsigned>(icc.size()));
    }
    if (kind.comment) {
        const QByteArray text("a day at the lake");
        jpeg_write_marker(&out, JPEG_COM, reinterpret_cast<const JOCTET*>(text.constData()),
                          static_cast<unsigned>(text.size()));
    }
    const std::vector<unsigned char> rgb =
        kind.flat ? std::vector<unsigned char>(size_t{kind.width} * kind.height * 3, 128)
                  : photograph(kind);
    std::vector<unsigned char> row(size_t{kind.width} * 3);
    while (out.next_scanline < out.image_height) {
        const unsigned char* from = rgb.data() + size_t{out.next_scanline} * kind.width * 3;
        for (size_t x = 0; x < kind.width; ++x) {
            if (kind.grey) {
                row[x] = from[3 * x + 1];
            } else {
                std::copy_n(from + 3 * x, 3, row.data() + 3 * x);
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&out, rows, 1);
    }
    jpeg_finish_compress(&out);
    jpeg_destroy_compress(&out);
    QByteArray file(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
    std::free(buffer);
    if (kind.trailer) {
        file += QByteArray("\xff\xd8", 2) + QByteArray(" a preview and maker data");
    }
    return file;
}

QByteArray reencodeJpeg(const QByteArray& file, int quality, bool subsampled) {
    jpeg_decompress_struct in{};
    jpeg_error_mgr inErrors{};
    in.err = jpeg_std_error(&inErrors);
    jpeg_create_decompress(&in);
    jpeg_mem_src(&in, reinterpret_cast<const unsigned char*>(file.constData()),
                 static_cast<unsigned long>(file.size()));
    jpeg_read_header(&in, TRUE);
    in.out_color_space = JCS_RGB;
    jpeg_start_decompress(&in);
    const uint32_t width = in.output_width;
    const uint32_t height = in.output_height;
    std::vector<unsigned char> rgb(size_t{width} * height * 3);
    while (in.output_scanline < height) {
        JSAMPROW rows[1] = {rgb.data() + size_t{in.output_scanline} * width * 3};
        jpeg_read_scanlines(&in, rows, 1);
    }
    jpeg_finish_decompress(&in);
    jpeg_destroy_decompress(&in);

    jpeg_compress_struct out{};
    jpeg_error_mgr outErrors{};
    out.err = jpeg_std_error(&outErrors);
    jpeg_create_compress(&out);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&out, &buffer, &size);
    out.image_width = width;
    out.image_height = height;
    out.input_components = 3;
    out.in_color_space = JCS_RGB;
    jpeg_set_defaults(&out);
    jpeg_set_quality(&out, quality, TRUE);
    if (!subsampled) {
        out.comp_info[0].h_samp_factor = 1;
        out.comp_info[0].v_samp_factor = 1;
    }
    jpeg_start_compress(&out, TRUE);
    while (out.next_scanline < height) {
        JSAMPROW rows[1] = {rgb.data() + size_t{out.next_scanline} * width * 3};
        jpeg_write_scanlines(&out, rows, 1);
    }
    jpeg_finish_compress(&out);
    jpeg_destroy_compress(&out);
    QByteArray result(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
    std::free(buffer);
    return result;
}
