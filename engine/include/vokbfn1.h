/*
 * vokbfn1: the BrindMar engine library.
 *
 * Hides a payload (header string, document bytes, pseudo-random filler) in the two low bits of
 * every colour byte of a 24-bit BMP and reads it back. Every call is self-contained: it opens its
 * files by path, does one block of work, closes every stream it opened and returns one status.
 *
 * Every numeric argument occupies one int32_t slot. Arguments documented as "16-bit" are read as
 * their low 16 bits, sign-extended (a dataOffset of 65590 is read as 54). Strings are
 * NUL-terminated 8-bit paths or texts; a null pointer counts as an empty string.
 *
 * Calls must not overlap on one thread's files. The filler generator's state belongs to the
 * calling thread; it starts at 1 and is never re-seeded.
 *
 * Codes beyond the classic table, added because the classic behaviour would divide by zero or
 * report a damaged output as complete:
 *   embed24: -14 rowsPerBlock is 0 (checked after the other numbers, before the strings)
 *            -15 writing the output failed (disk full, I/O error)
 *   embed80: -15 rowsPerBlock is 0 (same place in the order)
 *            -16 writing the output failed
 *   embed81: -22 writing the output failed
 *            -23 the carrier offset at a block boundary does not fit the 32-bit resumePos
 *   extract: -14 writing the output failed
 *   cbfindstr: -4 also when start is negative (the text would be read before its first byte)
 *
 * A read the system refuses (EIO, for one) is a failure, never an end of file: it fails the call
 * with the status of positioning in the file that was being read (embed24 -13 carrier, -12
 * document; embed80 -12 palette, -14 carrier, -13 document; embed81 -14 palette, -16 carrier,
 * -15 document; extract -13; filefindstr -5). A document that ends before docLength bytes fails
 * the same way as its read error: it changed since its length was taken. A carrier or image that
 * merely ends early still reads as bytes of 255.
 *
 * After a failure status errno holds the system's reason where there is one: the read's or the
 * write's own error (EIO, ENOSPC), the open's, or ENODATA for a document that ended early.
 */
#ifndef VOKBFN1_H
#define VOKBFN1_H

#include <stdint.h>

#if defined(VOKBFN1_BUILD)
#define VOKBFN1_API __attribute__((visibility("default")))
#else
#define VOKBFN1_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Embed into an uncompressed 24-bit carrier. Appends the crop's rows to outputPath, which already
 * holds the output's two BMP headers.
 * 16-bit: blockIndex, rowsPerBlock, dataOffset, cropLeftBytes, cropBottomRows.
 * Returns 1 (block done, call again with blockIndex + 1), 0 (all rows done) or:
 *  -1 rowStride 0, -2 outWidth 0, -3 rowCount 0, -4 dataOffset 0 or above 1078,
 *  -14 rowsPerBlock 0, -5 header empty, -6 carrierPath empty, -7 documentPath empty,
 *  -8 outputPath empty, -9 carrier cannot be opened, -10 document cannot be opened,
 *  -11 output cannot be opened, -12 positioning in the document failed,
 *  -13 positioning at a carrier row failed, -15 writing the output failed. */
VOKBFN1_API int32_t embed24(int32_t blockIndex, int32_t rowsPerBlock, int32_t dataOffset,
                            int32_t cropLeftBytes, int32_t cropBottomRows, int32_t rowStride,
                            int32_t outWidth, int32_t rowCount, int32_t docLength,
                            const char* header, const char* carrierPath, const char* documentPath,
                            const char* outputPath);

/* Embed into an uncompressed 8-bit palette carrier, writing 24-bit rows. Arguments as embed24;
 * cropLeftBytes is the number of pixels left of the crop.
 * Returns 1, 0 or: -1 to -11 as embed24, -15 rowsPerBlock 0, -12 positioning at the palette
 *  failed, -13 positioning in the document failed, -14 positioning at a carrier row failed,
 *  -16 writing the output failed. */
VOKBFN1_API int32_t embed80(int32_t blockIndex, int32_t rowsPerBlock, int32_t dataOffset,
                            int32_t cropLeftBytes, int32_t cropBottomRows, int32_t rowStride,
                            int32_t outWidth, int32_t rowCount, int32_t docLength,
                            const char* header, const char* carrierPath, const char* documentPath,
                            const char* outputPath);

/* Embed into an RLE8 carrier, writing 24-bit rows. resumePos is the value the previous block
 * returned (0 on block 0).
 * 16-bit: blockIndex, rowsPerBlock, dataOffset, cropLeftPixels, cropBottomRows.
 * Returns 0 (all rows done), a positive carrier offset (block done: pass it back as resumePos with
 * blockIndex + 1) or:
 *  -1 rowsPerBlock 0, -2 dataOffset 0 or above 1078, -3 imageWidth 0, -4 outWidth 0,
 *  -5 rowCount 0, -6 docLength 0, -7 header empty, -8 carrierPath empty, -9 documentPath empty,
 *  -10 outputPath empty, -11 carrier cannot be opened, -12 document cannot be opened,
 *  -13 output cannot be opened, -14 positioning at the palette failed, -15 positioning in the
 *  document failed, -16 positioning at resumePos failed, -17 malformed row while skipping the
 *  bottom rows, -18 malformed code while skipping the left pixels, -19 malformed code at the
 *  start of a row, -20 malformed code inside a row, -21 end-of-row code greater than 1,
 *  -22 writing the output failed, -23 block-boundary offset beyond 2147483647. */
VOKBFN1_API int32_t embed81(int32_t blockIndex, int32_t resumePos, int32_t rowsPerBlock,
                            int32_t dataOffset, int32_t cropLeftPixels, int32_t cropBottomRows,
                            int32_t imageWidth, int32_t outWidth, int32_t rowCount,
                            int32_t docLength, const char* header, const char* carrierPath,
                            const char* documentPath, const char* outputPath);

/* Write the document bytes hidden in a 24-bit image to outputPath ("wb" on block 0 or below,
 * appended on later blocks).
 * 16-bit: blockIndex, rowsPerBlock, dataOffset, headerLength.
 * Returns 1 (block done), 0 (all docLength bytes written) or:
 *  -1 rowsPerBlock below 1, -2 dataOffset below 1, -3 rowBytes below 1, -4 docLength below 1,
 *  -5 headerLength below 1, -6 carrierPath empty, -7 outputPath empty, -8 image cannot be
 *  opened, -9 output cannot be opened, -10 positioning at the block's first row failed,
 *  -11 the header does not fit in block 0, -12 positioning while skipping the header failed,
 *  -13 positioning at a row change failed, -14 writing the output failed. */
VOKBFN1_API int32_t extract(int32_t blockIndex, int32_t rowsPerBlock, int32_t dataOffset,
                            int32_t rowBytes, int32_t docLength, int32_t headerLength,
                            const char* carrierPath, const char* outputPath);

/* Line-by-line search of needle in a NUL-terminated text. searchMode (16-bit): odd and positive
 * is caseless (ASCII letters only), above 1 matches anywhere in a line, else only at a line
 * start. end below 1 or beyond the text means the end of the text.
 * Returns the match offset, or -1 not found, -2 text empty, -3 needle empty,
 * -4 start negative or start + needle length beyond the text. */
VOKBFN1_API int32_t cbfindstr(int32_t searchMode, int32_t start, int32_t end, const char* needle,
                              const char* text);

/* The same search in a file. Returns the match offset, or -1 not found, -2 path empty or size
 * unknown, -3 needle empty, -4 start + needle length beyond the file, -5 positioning at start
 * failed, -7 the file cannot be opened. */
VOKBFN1_API int32_t filefindstr(int32_t searchMode, int32_t start, int32_t end, const char* needle,
                                const char* path);

/* Overwrite an existing ordinary file with zero bytes in place, over its whole length (and on to
 * byteCount when that is longer), and sync the zeros to the disk before returning. The file then
 * ends at byteCount (a negative count leaves it empty). A best effort: a file system that writes
 * elsewhere (copy-on-write, journalled data, flash wear levelling) may keep old copies.
 * Returns -1 done, 0 nothing to do (byteCount 0 or path empty), -6 the file cannot be opened for
 * writing (missing, a link, not an ordinary file) or the zeros could not be written and synced. */
VOKBFN1_API int32_t wipefile(int32_t byteCount, const char* path);

#ifdef __cplusplus
}
#endif

#endif /* VOKBFN1_H */
