#include "protection/JpegCoefficients.h"

#include "protection/JpegMarkers.h"

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>
// After <cstdio>: jpeglib.h needs FILE declared.
#include <jerror.h>
#include <jpeglib.h>

namespace brindmar {

namespace {

// libjpeg's error manager first, so that the pointer libjpeg hands back is one to the whole.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    bool tooManyScans;
    // Blocks gone through scan by scan, and how many the file's size allows.
    int lastScan;
    uint64_t scanBlocks;
    uint64_t blockBudget;
};

void jumpOut(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

// Warnings about damaged data are the file's business: the reader takes what it gets, but for a
// file that ends before its picture does. libjpeg would make up the rest, and a few bytes could
// then stand for a picture of a hundred million pixels that takes seconds to go through.
void noMessage(j_common_ptr info, int level) {
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) {
        jumpOut(info);
    }
}
void noOutput(j_common_ptr) {}

// Every scan goes through all the blocks of its components, however few bytes it takes: a
// flat picture's progressive scans are a few bytes each, so a small file of many scans over a
// large frame would cost seconds. The work is held to what a file of its size could need.
void countScans(j_common_ptr info) {
    if (!info->is_decompressor) {
        return;
    }
    auto* in = reinterpret_cast<j_decompress_ptr>(info);
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    if (in->input_scan_number != errors->lastScan) {
        errors->lastScan = in->input_scan_number;
        for (int k = 0; k < in->comps_in_scan && k < MAX_COMPS_IN_SCAN; ++k) {
            const jpeg_component_info* c = in->cur_comp_info[k];
            if (c != nullptr) {
                errors->scanBlocks += uint64_t{c->width_in_blocks} * c->height_in_blocks;
            }
        }
    }
    if (in->input_scan_number > kMostJpegScans || errors->scanBlocks > errors->blockBudget) {
        errors->tooManyScans = true;
        jumpOut(info);
    }
}

void quietErrors(JpegErrors& errors) {
    std::memset(&errors, 0, sizeof errors);
    jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jumpOut;
    errors.manager.emit_message = noMessage;
    errors.manager.output_message = noOutput;
}

// Runs one stretch of libjpeg calls; false when libjpeg gave up on it. A step holds nothing
// that needs destroying, so that the jump back over it leaks nothing.
template <class Step> bool guarded(JpegErrors& errors, const Step& step) {
    if (setjmp(errors.jump) != 0) {
        return false;
    }
    step();
    return true;
}

// Where the writer's bytes go: a buffer of ours, so that it is freed however the writing ends
// (libjpeg's own memory destination leaves the caller a pointer to a freed block when it fails
// after growing). The manager comes first, so that libjpeg's pointer to it is one to the whole.
struct MemoryDestination {
    jpeg_destination_mgr manager;
    std::vector<JOCTET>* bytes;
};

void startOutput(j_compress_ptr info) {
    auto* out = reinterpret_cast<MemoryDestination*>(info->dest);
    out->manager.next_output_byte = out->bytes->data();
    out->manager.free_in_buffer = out->bytes->size();
}

boolean growOutput(j_compress_ptr info) {
    auto* out = reinterpret_cast<MemoryDestination*>(info->dest);
    const size_t used = out->bytes->size();
    bool grown = true;
    try {
        out->bytes->resize(used * 2);
    } catch (const std::bad_alloc&) {
        grown = false;
    }
    if (!grown) {
        info->err->msg_code = JERR_OUT_OF_MEMORY;
        jumpOut(reinterpret_cast<j_common_ptr>(info));
    }
    out->manager.next_output_byte = out->bytes->data() + used;
    out->manager.free_in_buffer = out->bytes->size() - used;
    return TRUE;
}

void endOutput(j_compress_ptr info) {
    auto* out = reinterpret_cast<MemoryDestination*>(info->dest);
    out->bytes->resize(out->bytes->size() - out->manager.free_in_buffer);
}

// The memory libjpeg may take for the coefficients: enough for the largest picture taken, with
// full-resolution chroma.
constexpr long kMostJpegMemory = static_cast<long>(kMostJpegPixels * 3 * 64 * 2 / 64 + (1 << 26));

bool holds(const JHUFF_TBL* table, const bool* needed) {
    if (table == nullptr) {
        return false;
    }
    bool have[256] = {};
    int count = 0;
    for (int length = 1; length <= 16; ++length) {
        count += table->bits[length];
    }
    for (int k = 0; k < count && k < 256; ++k) {
        have[table->huffval[k]] = true;
    }
    for (int s = 0; s < 256; ++s) {
        if (needed[s] && !have[s]) {
            return false;
        }
    }
    return true;
}

// Zigzag position to row-major index: the order in which the entropy coder visits a block.
constexpr int kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                             12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                             35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                             58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

int magnitudeBits(int v) {
    return static_cast<int>(std::bit_width(static_cast<unsigned>(v < 0 ? -v : v)));
}

// The AC symbols a sequential scan writes for a component's blocks: run and size of each
// non-zero coefficient, sixteen-zero runs, and the end of block.
void acSymbols(const JpegComponent& component, bool* needed) {
    needed[0x00] = true; // blocks beyond the picture's edge are empty
    for (uint64_t b = 0; b < component.blocks(); ++b) {
        const int16_t* block = component.block(b);
        int run = 0;
        for (int z = 1; z < 64; ++z) {
            const int v = block[kZigzag[z]];
            if (v == 0) {
                ++run;
                continue;
            }
            for (; run > 15; run -= 16) {
                needed[0xF0] = true;
            }
            needed[run << 4 | magnitudeBits(v)] = true;
            run = 0;
        }
    }
}

// Whether a script sends every bit of every coefficient: libjpeg takes a progressive one that
// stops short, as a damaged carrier's may, and would then drop the low bits.
bool sendsEveryBit(const std::vector<jpeg_scan_info>& script, int components) {
    std::vector<bool> sent(static_cast<size_t>(components) * 64);
    for (const jpeg_scan_info& scan : script) {
        if (scan.Al != 0 || scan.Ss < 0 || scan.Se > 63) {
            continue;
        }
        for (int k = 0; k < scan.comps_in_scan && k < MAX_COMPS_IN_SCAN; ++k) {
            const int c = scan.component_index[k];
            for (int z = scan.Ss; c >= 0 && c < components && z <= scan.Se; ++z) {
                sent[static_cast<size_t>(c * 64 + z)] = true;
            }
        }
    }
    return std::find(sent.begin(), sent.end(), false) == sent.end();
}

bool sameCoefficients(const std::vector<JpegComponent>& a, const std::vector<JpegComponent>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t c = 0; c < a.size(); ++c) {
        if (a[c].coefficients != b[c].coefficients) {
            return false;
        }
    }
    return true;
}

} // namespace

bool JpegMarker::isExif() const {
    return code == JPEG_APP0 + 1 && data.startsWith(QByteArray("Exif\0\0", 6));
}

bool JpegMarker::isXmp() const {
    return code == JPEG_APP0 + 1 && data.startsWith("http://ns.adobe.com/xap/1.0/");
}

struct JpegCoefficients::State {
    jpeg_decompress_struct in;
    JpegErrors errors;
    jpeg_progress_mgr progress;
    jvirt_barray_ptr* arrays = nullptr;
    bool created = false;
    QByteArray file;
    QByteArray trailer;
    std::vector<JpegScan> scans;

    State() {
        std::memset(&in, 0, sizeof in);
        std::memset(&progress, 0, sizeof progress);
        quietErrors(errors);
    }
    ~State() {
        if (created) {
            jpeg_destroy_decompress(&in);
        }
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
};

namespace {

// Damaged data decodes to coefficients no Huffman coder can write again, and blocks past a cut
// are left at 0 whatever DC came before: a DC outside [-1024, 1023] makes a difference the
// carrier's own DC table has no size for, and libjpeg's fast coder writes it without a word. A
// file that cannot be written as it was read is damaged, not a carrier.
bool writable(const std::vector<JpegComponent>& components) {
    for (const JpegComponent& component : components) {
        int outside = 0;
        const int16_t* v = component.coefficients.data();
        const size_t count = component.coefficients.size();
        for (size_t i = 0; i < count; ++i) {
            const int limit = i % 64 == 0 ? 1024 : kMostAcMagnitude;
            outside |= (v[i] < -limit) | (v[i] > kMostAcMagnitude);
        }
        if (outside != 0) {
            return false;
        }
    }
    return true;
}

} // namespace

JpegCoefficients::JpegCoefficients() = default;
JpegCoefficients::~JpegCoefficients() = default;

JpegOpenStatus JpegCoefficients::open(const QByteArray& file) {
    m_components.clear();
    m_markers.clear();
    m_state = std::make_unique<State>();
    if (file.size() > kMostJpegFileBytes) {
        return JpegOpenStatus::TooLarge;
    }
    State& s = *m_state;
    s.file = file;
    s.in.err = &s.errors.manager;
    if (!guarded(s.errors, [&] { jpeg_create_decompress(&s.in); })) {
        return JpegOpenStatus::NotJpeg;
    }
    s.created = true;
    s.errors.blockBudget =
        kJpegScanBlocksFree + kJpegScanBlocksPerByte * static_cast<uint64_t>(file.size());
    s.progress.progress_monitor = countScans;
    s.in.progress = &s.progress;
    const auto* bytes = reinterpret_cast<const unsigned char*>(s.file.constData());
    const auto size = static_cast<unsigned long>(s.file.size());
    if (!guarded(s.errors, [&] {
            s.in.mem->max_memory_to_use = kMostJpegMemory;
            jpeg_mem_src(&s.in, bytes, size);
            for (int n = 0; n < 16; ++n) {
                jpeg_save_markers(&s.in, JPEG_APP0 + n, 0xFFFF);
            }
            jpeg_save_markers(&s.in, JPEG_COM, 0xFFFF);
            jpeg_read_header(&s.in, TRUE);
        })) {
        return JpegOpenStatus::NotJpeg;
    }
    uint64_t coefficients = 0;
    for (int c = 0; c < s.in.num_components; ++c) {
        const jpeg_component_info& info = s.in.comp_info[c];
        coefficients += uint64_t{info.width_in_blocks} * info.height_in_blocks * 64;
    }
    if (uint64_t{s.in.image_width} * s.in.image_height > kMostJpegPixels ||
        coefficients > kMostJpegPixels * 3) {
        return JpegOpenStatus::TooLarge;
    }
    // Every block takes a bit at least, its DC difference's code, so a file of n bytes holds at
    // most 8n blocks when Huffman coded. One that claims more is made to cost work out of all
    // proportion to its size. An arithmetic-coded scan has no such floor: past an end marker it
    // decodes every block from nothing, so a hundred bytes could claim the largest picture taken
    // and its gigabyte of coefficients; no camera writes one, and it is not read.
    if (s.in.arith_code || coefficients / 64 > 8 * static_cast<uint64_t>(s.file.size())) {
        return JpegOpenStatus::NotJpeg;
    }
    if (!guarded(s.errors, [&] { s.arrays = jpeg_read_coefficients(&s.in); })) {
        return s.errors.tooManyScans ? JpegOpenStatus::TooManyScans : JpegOpenStatus::NotJpeg;
    }
    try {
        m_components.resize(static_cast<size_t>(s.in.num_components));
        for (int c = 0; c < s.in.num_components; ++c) {
            const jpeg_component_info& info = s.in.comp_info[c];
            JpegComponent& component = m_components[static_cast<size_t>(c)];
            if (info.quant_table == nullptr) {
                return JpegOpenStatus::NotJpeg;
            }
            component.widthInBlocks = info.width_in_blocks;
            component.heightInBlocks = info.height_in_blocks;
            for (int k = 0; k < 64; ++k) {
                component.quant[static_cast<size_t>(k)] = info.quant_table->quantval[k];
            }
            component.coefficients.resize(static_cast<size_t>(component.blocks() * 64));
        }
        for (jpeg_saved_marker_ptr m = s.in.marker_list; m != nullptr; m = m->next) {
            if (m->data_length == m->original_length) {
                m_markers.push_back({m->marker, QByteArray(reinterpret_cast<const char*>(m->data),
                                                           static_cast<int>(m->data_length))});
            }
        }
        s.scans = jpegScans(s.file);
    } catch (const std::bad_alloc&) {
        return JpegOpenStatus::TooLarge;
    }
    const bool copied = guarded(s.errors, [&] {
        for (int c = 0; c < s.in.num_components; ++c) {
            const jpeg_component_info& info = s.in.comp_info[c];
            JpegComponent& component = m_components[static_cast<size_t>(c)];
            const auto step = static_cast<JDIMENSION>(info.v_samp_factor);
            for (JDIMENSION y = 0; y < info.height_in_blocks; y += step) {
                JBLOCKARRAY rows = s.in.mem->access_virt_barray(
                    reinterpret_cast<j_common_ptr>(&s.in), s.arrays[c], y, step, FALSE);
                for (JDIMENSION r = 0; r < step && y + r < info.height_in_blocks; ++r) {
                    std::memcpy(component.block(uint64_t{y + r} * info.width_in_blocks), rows[r],
                                size_t{info.width_in_blocks} * sizeof(JBLOCK));
                }
            }
        }
    });
    if (!copied || !writable(m_components)) {
        return JpegOpenStatus::NotJpeg;
    }
    m_width = s.in.image_width;
    m_height = s.in.image_height;
    m_progressive = s.in.progressive_mode != 0;
    // What follows the end of the picture (a camera's preview, another program's data) is the
    // carrier's too; libjpeg stops reading at the end marker.
    s.trailer = s.file.right(static_cast<qsizetype>(s.in.src->bytes_in_buffer));
    return JpegOpenStatus::Done;
}

bool JpegCoefficients::hasGpsPosition() const {
    for (const JpegMarker& marker : m_markers) {
        if ((marker.isExif() && exifHasGpsPosition(marker.data)) ||
            (marker.code == JPEG_APP0 + 1 && xmpHasGpsPosition(marker.data))) {
            return true;
        }
    }
    return false;
}

// A sequential file's own tables hold when every symbol the coefficients now need is in them.
// The DC coefficients are never changed, so their symbols are the carrier's, but for blocks
// past the picture's edge, which an encoder may have filled otherwise: a DC table without every
// size of difference is trusted only once the file written with it reads back the same.
JpegCoefficients::OwnTables JpegCoefficients::ownTables() const {
    const jpeg_decompress_struct& in = m_state->in;
    if (in.progressive_mode || in.arith_code) {
        return OwnTables::Dropped;
    }
    bool everyDcSize = true;
    for (int c = 0; c < in.num_components; ++c) {
        const jpeg_component_info& info = in.comp_info[c];
        if (info.dc_tbl_no < 0 || info.dc_tbl_no >= NUM_HUFF_TBLS || info.ac_tbl_no < 0 ||
            info.ac_tbl_no >= NUM_HUFF_TBLS) {
            return OwnTables::Dropped;
        }
        bool dcSizes[256] = {};
        std::fill_n(dcSizes, 12, true);
        everyDcSize = everyDcSize && holds(in.dc_huff_tbl_ptrs[info.dc_tbl_no], dcSizes);
        bool needed[256] = {};
        acSymbols(m_components[static_cast<size_t>(c)], needed);
        if (in.dc_huff_tbl_ptrs[info.dc_tbl_no] == nullptr ||
            !holds(in.ac_huff_tbl_ptrs[info.ac_tbl_no], needed)) {
            return OwnTables::Dropped;
        }
    }
    return everyDcSize ? OwnTables::Kept : OwnTables::KeptIfReadBack;
}

QByteArray JpegCoefficients::write(const JpegWriteOptions& options) const {
    if (m_state == nullptr || m_state->arrays == nullptr) {
        return {};
    }
    const OwnTables own = ownTables();
    if (own != OwnTables::Dropped) {
        QByteArray kept = encode(options, true);
        JpegCoefficients back;
        if (!kept.isEmpty() &&
            (own == OwnTables::Kept || (back.open(kept) == JpegOpenStatus::Done &&
                                        sameCoefficients(back.m_components, m_components)))) {
            return kept;
        }
    }
    return encode(options, false);
}

QByteArray JpegCoefficients::encode(const JpegWriteOptions& options, bool ownTables) const {
    State& s = *m_state;
    const bool copied = guarded(s.errors, [&] {
        for (int c = 0; c < s.in.num_components; ++c) {
            const jpeg_component_info& info = s.in.comp_info[c];
            const JpegComponent& component = m_components[static_cast<size_t>(c)];
            const auto step = static_cast<JDIMENSION>(info.v_samp_factor);
            for (JDIMENSION y = 0; y < info.height_in_blocks; y += step) {
                JBLOCKARRAY rows = s.in.mem->access_virt_barray(
                    reinterpret_cast<j_common_ptr>(&s.in), s.arrays[c], y, step, TRUE);
                for (JDIMENSION r = 0; r < step && y + r < info.height_in_blocks; ++r) {
                    std::memcpy(rows[r], component.block(uint64_t{y + r} * info.width_in_blocks),
                                size_t{info.width_in_blocks} * sizeof(JBLOCK));
                }
            }
        }
    });
    if (!copied) {
        return {};
    }
    // The carrier's scans by component index; a script libjpeg would not take falls back to
    // its own cut of the same kind.
    std::vector<jpeg_scan_info> script;
    for (const JpegScan& scan : s.scans) {
        jpeg_scan_info info{};
        info.comps_in_scan = static_cast<int>(scan.componentIds.size());
        for (size_t k = 0; k < scan.componentIds.size(); ++k) {
            info.component_index[k] = -1;
            for (int c = 0; c < s.in.num_components; ++c) {
                if (s.in.comp_info[c].component_id == scan.componentIds[k]) {
                    info.component_index[k] = c;
                }
            }
        }
        info.Ss = scan.ss;
        info.Se = scan.se;
        info.Ah = scan.ah;
        info.Al = scan.al;
        script.push_back(info);
    }

    for (const bool ownScript : {true, false}) {
        if (ownScript && (script.empty() || !sendsEveryBit(script, s.in.num_components))) {
            continue;
        }
        jpeg_compress_struct out;
        std::memset(&out, 0, sizeof out);
        JpegErrors errors;
        quietErrors(errors);
        out.err = &errors.manager;
        std::vector<JOCTET> bytes(static_cast<size_t>(s.file.size()) + (1 << 16));
        MemoryDestination destination{};
        destination.manager.init_destination = startOutput;
        destination.manager.empty_output_buffer = growOutput;
        destination.manager.term_destination = endOutput;
        destination.bytes = &bytes;
        bool created = false;
        const bool done = guarded(errors, [&] {
            jpeg_create_compress(&out);
            created = true;
            out.dest = &destination.manager;
            jpeg_copy_critical_parameters(&s.in, &out);
            // The carrier's own APP0 and APP14 go out among its markers, byte for byte.
            out.write_JFIF_header = FALSE;
            out.write_Adobe_marker = FALSE;
            out.restart_interval = s.in.restart_interval;
            out.arith_code = s.in.arith_code;
            if (ownScript) {
                out.scan_info = script.data();
                out.num_scans = static_cast<int>(script.size());
            } else if (s.in.progressive_mode) {
                jpeg_simple_progression(&out);
            }
            out.optimize_coding = ownTables ? FALSE : TRUE;
            if (ownTables) {
                for (int t = 0; t < NUM_HUFF_TBLS; ++t) {
                    for (const auto& [from, to] :
                         {std::pair{s.in.dc_huff_tbl_ptrs, out.dc_huff_tbl_ptrs},
                          std::pair{s.in.ac_huff_tbl_ptrs, out.ac_huff_tbl_ptrs}}) {
                        if (from[t] == nullptr) {
                            continue;
                        }
                        if (to[t] == nullptr) {
                            to[t] = jpeg_alloc_huff_table(reinterpret_cast<j_common_ptr>(&out));
                        }
                        std::memcpy(to[t]->bits, from[t]->bits, sizeof from[t]->bits);
                        std::memcpy(to[t]->huffval, from[t]->huffval, sizeof from[t]->huffval);
                        to[t]->sent_table = FALSE;
                    }
                }
                for (int c = 0; c < s.in.num_components; ++c) {
                    out.comp_info[c].dc_tbl_no = s.in.comp_info[c].dc_tbl_no;
                    out.comp_info[c].ac_tbl_no = s.in.comp_info[c].ac_tbl_no;
                }
            }
            jpeg_write_coefficients(&out, s.arrays);
            for (const JpegMarker& marker : m_markers) {
                if (options.dropMetadata && (marker.isExif() || marker.isXmp())) {
                    continue;
                }
                jpeg_write_marker(&out, marker.code,
                                  reinterpret_cast<const JOCTET*>(marker.data.constData()),
                                  static_cast<unsigned>(marker.data.size()));
            }
            jpeg_finish_compress(&out);
        });
        QByteArray result;
        if (done) {
            result = QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                static_cast<qsizetype>(bytes.size()));
            if (!options.dropMetadata) {
                result += s.trailer;
            }
        }
        if (created) {
            jpeg_destroy_compress(&out);
        }
        if (done) {
            return result;
        }
    }
    return {};
}

} // namespace brindmar
