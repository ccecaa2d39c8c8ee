#include "picture/jpeg_decoder.h"

#include "picture/picture_buffer.h"

#include <QIODevice>

#include <algorithm>
#include <csetjmp>
#include <cstdio> // jpeglib.h uses FILE and size_t without including their headers
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <jpeglib.h>
// jerror.h after jpeglib.h: it needs its types.
#include <jerror.h>

namespace lumenveil {

namespace {

// A JPEG cannot pack more pixels than this into a byte of its file: every 8 x 8 block of every
// component takes at least one bit of the compressed data.
constexpr qint64 MaxPixelsPerFileByte = 512;

// Real files have a few dozen scans at most. Each scan is a pass over the coefficients of the
// whole picture, so a small file of thousands of scans would keep the decoder busy for minutes.
constexpr int MaxScans = 500;

// Rows of the file decoded at a time where a quarter turn writes them as columns: 16 pixels
// of 4 bytes fill a cache line of the turned picture.
constexpr int BandRows = 16;

constexpr int InputBytes = 64 * 1024;

// libjpeg-turbo's fast Huffman decoder takes a bad code for a zero without a word, so a
// damaged stretch can pass unnoticed. It steps in only while 512 bytes for each block of an
// MCU are at hand; handing libjpeg the file in smaller pieces keeps it on its careful path,
// which reports a bad code, for about a tenth more decoding time.
constexpr std::size_t PieceBytes = 256;

// Our own reason for stopping libjpeg, beside its message codes.
constexpr int TooManyScans = -2;

// Everything libjpeg touches, as plain data: libjpeg leaves a failed call through longjmp,
// which skips destructors, so nothing in here may need one.
struct JpegJob
{
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    jpeg_source_mgr source;
    jpeg_progress_mgr progress;
    std::jmp_buf escape;
    bool created;       // info needs jpeg_destroy_decompress
    bool decoding;      // past the headers, in the scans
    bool multipleScans; // the decoder holds every coefficient until the last scan
    int failure;        // libjpeg's message code for why it stopped, or TooManyScans
    char message[JMSG_LENGTH_MAX];
    QIODevice* device;
    JOCTET input[InputBytes]; // read from the device, handed on in pieces
    const JOCTET* unread;
    std::size_t unreadBytes;

    // Where the rows go. The picture is `width` x `height` as the file stores it; `turned` pictures
    // are written transposed (a quarter turn), then `mirrored` (right to left) and `flipped`
    // (bottom to top) in the final picture's own directions.
    uchar* pixels;
    qsizetype stride; // bytes per row of the final picture
    int imageTop;     // the final row that `pixels` starts with: 0, or a band's first row
    bool banded;      // `pixels` holds one band of final rows at a time
    bool turned;
    bool mirrored;
    bool flipped;
    bool cmyk;   // rows arrive as Adobe's inverted CMYK and become RGB32 in place
    uchar* band; // BandRows rows of the file, where `turned`

    // Told of each band of final rows as it is placed, where the picture is not `turned` (a
    // turned picture has no final row before the last band); `stopped` when it said to stop.
    RowSink* sink;
    QImage* picture;
    bool stopped;
};

JpegJob& JobOf(j_common_ptr info)
{
    return *static_cast<JpegJob*>(info->client_data);
}

[[noreturn]] void GiveUp(j_common_ptr info, int code)
{
    JpegJob& job = JobOf(info);
    job.failure = code;
    if (code >= 0) {
        (*info->err->format_message)(info, job.message);
    }
    std::longjmp(job.escape, 1);
}

void OnError(j_common_ptr info)
{
    GiveUp(info, info->err->msg_code);
}

// Warnings after which libjpeg goes on with pixels it made up: it skips to the next restart
// marker, or fills the rest of the picture with grey. Stray bytes between the segments of the
// headers are harmless; after the data of a scan they are what is left when a bad code threw
// the decoder off (its fast path reports nothing else of a bad code).
bool MeansMadeUpPixels(int code, bool decoding)
{
    switch (code) {
    case JWRN_EXTRANEOUS_DATA: return decoding;
    case JWRN_ARITH_BAD_CODE:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_JPEG_EOF:
    case JWRN_MUST_RESYNC: return true;
    default: return false; // an unknown JFIF version or Adobe transform, a bad ICC marker, ...
    }
}

void OnMessage(j_common_ptr info, int level)
{
    if (level < 0 && MeansMadeUpPixels(info->err->msg_code, JobOf(info).decoding)) {
        GiveUp(info, info->err->msg_code);
    }
}

void Silent(j_common_ptr) {}

void OnProgress(j_common_ptr info)
{
    if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > MaxScans) {
        GiveUp(info, TooManyScans);
    }
}

void StartInput(j_decompress_ptr) {}

void EndInput(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr info)
{
    JpegJob& job = JobOf(reinterpret_cast<j_common_ptr>(info));
    if (job.unreadBytes == 0) {
        const qint64 got = job.device->read(reinterpret_cast<char*>(job.input), InputBytes);
        job.unread = job.input;
        job.unreadBytes = got > 0 ? static_cast<std::size_t>(got) : 0;
    }
    if (job.unreadBytes == 0) {
        // What libjpeg's own readers do at the end of a file: warn, then give it an end marker.
        static const JOCTET End[] = {0xFF, JPEG_EOI};
        job.source.next_input_byte = End;
        job.source.bytes_in_buffer = sizeof End;
        WARNMS(info, JWRN_JPEG_EOF);
        return TRUE;
    }
    const std::size_t piece = std::min(PieceBytes, job.unreadBytes);
    job.source.next_input_byte = job.unread;
    job.source.bytes_in_buffer = piece;
    job.unread += piece;
    job.unreadBytes -= piece;
    return TRUE;
}

void SkipInput(j_decompress_ptr info, long count)
{
    JpegJob& job = JobOf(reinterpret_cast<j_common_ptr>(info));
    if (count <= 0) {
        return;
    }
    auto bytes = static_cast<std::size_t>(count);
    if (bytes <= job.source.bytes_in_buffer) {
        job.source.next_input_byte += bytes;
        job.source.bytes_in_buffer -= bytes;
        return;
    }
    bytes -= job.source.bytes_in_buffer;
    job.source.bytes_in_buffer = 0;
    const std::size_t buffered = std::min(bytes, job.unreadBytes);
    job.unread += buffered;
    job.unreadBytes -= buffered;
    // A skip past the end leaves the device there; the next fill finds the end.
    if (bytes > buffered) {
        (void)job.device->skip(static_cast<qint64>(bytes - buffered));
    }
}

// Runs `step` under libjpeg's error handling: false when libjpeg gave up, job.failure saying
// why. The setjmp frame is this one, and `step` is plain code, so the longjmp out of libjpeg
// skips no destructor.
bool RunProtected(JpegJob& job, void (*step)(JpegJob&))
{
    if (setjmp(job.escape) != 0) {
        return false;
    }
    step(job);
    return true;
}

void ReadHeader(JpegJob& job)
{
    jpeg_create_decompress(&job.info);
    job.created = true;
    job.info.src = &job.source;
    job.info.progress = &job.progress;
    jpeg_save_markers(&job.info, JPEG_APP0 + 1, 0xFFFF); // EXIF
    (void)jpeg_read_header(&job.info, TRUE);
    job.multipleScans = jpeg_has_multiple_scans(&job.info) != FALSE;
}

// Where row `y` of the file is decoded to: the final picture's row, or the band's `i`th row.
uchar* RowFor(const JpegJob& job, JDIMENSION y, int i)
{
    if (job.turned) {
        return job.band + static_cast<qsizetype>(i) * job.info.output_width * 4;
    }
    const JDIMENSION row = job.flipped ? job.info.output_height - 1 - y : y;
    return job.pixels + (static_cast<qsizetype>(row) - job.imageTop) * job.stride;
}

// Adobe's inverted CMYK to RGB32, as Qt's reader did it: each ink scaled by the black.
void CmykToRgb32(uchar* row, JDIMENSION width)
{
    for (JDIMENSION x = 0; x < width; ++x, row += 4) {
        const unsigned k = row[3];
        const unsigned r = k * row[0] / 255;
        const unsigned g = k * row[1] / 255;
        const unsigned b = k * row[2] / 255;
        *reinterpret_cast<quint32*>(row) = 0xFF000000u | r << 16 | g << 8 | b;
    }
}

// Finishes `count` rows of the file from row `first` on, decoded where RowFor put them.
void PlaceRows(const JpegJob& job, JDIMENSION first, int count)
{
    const JDIMENSION width = job.info.output_width;
    const JDIMENSION height = job.info.output_height;
    for (int i = 0; i < count; ++i) {
        auto* row = reinterpret_cast<quint32*>(RowFor(job, first + i, i));
        if (job.cmyk) {
            CmykToRgb32(reinterpret_cast<uchar*>(row), width);
        }
        if (job.mirrored && !job.turned) {
            std::reverse(row, row + width);
        }
    }
    if (!job.turned) {
        return;
    }
    // Row y of the file becomes column y of the turned picture, pixel x its row x: the band's
    // `count` pixels at x land side by side in one row, from column `lowest` on.
    const quint32* band[BandRows];
    for (int i = 0; i < count; ++i) {
        band[i] = reinterpret_cast<const quint32*>(RowFor(job, first + i, i));
    }
    const JDIMENSION lowest = job.mirrored ? height - first - static_cast<JDIMENSION>(count) : first;
    const auto rowOf = [&job, width, lowest](JDIMENSION x) {
        const JDIMENSION y = job.flipped ? width - 1 - x : x;
        return reinterpret_cast<quint32*>(job.pixels + static_cast<qsizetype>(y) * job.stride) +
               lowest;
    };
    JDIMENSION x = 0;
#if defined(__SSE2__)
    // A whole band into 16-byte aligned places: four by four pixels turned in registers, and
    // each row's 64 bytes stored past the cache, which would only fetch the line to fill it.
    if (count == BandRows && reinterpret_cast<quintptr>(job.pixels) % 16 == 0 &&
        job.stride % 16 == 0 && lowest % 4 == 0) {
        for (; x + 4 <= width; x += 4) {
            __m128i turned[4][BandRows / 4]; // [pixel x + k][rows 4j .. 4j + 3]
            for (int j = 0; j < BandRows / 4; ++j) {
                const auto load = [&](int i) {
                    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(band[4 * j + i] + x));
                };
                const __m128i low01 = _mm_unpacklo_epi32(load(0), load(1));
                const __m128i low23 = _mm_unpacklo_epi32(load(2), load(3));
                const __m128i high01 = _mm_unpackhi_epi32(load(0), load(1));
                const __m128i high23 = _mm_unpackhi_epi32(load(2), load(3));
                turned[0][j] = _mm_unpacklo_epi64(low01, low23);
                turned[1][j] = _mm_unpackhi_epi64(low01, low23);
                turned[2][j] = _mm_unpacklo_epi64(high01, high23);
                turned[3][j] = _mm_unpackhi_epi64(high01, high23);
            }
            for (int k = 0; k < 4; ++k) {
                quint32* out = rowOf(x + static_cast<JDIMENSION>(k));
                for (int j = 0; j < BandRows / 4; ++j) {
                    if (job.mirrored) {
                        _mm_stream_si128(reinterpret_cast<__m128i*>(out + BandRows - 4 - 4 * j),
                                         _mm_shuffle_epi32(turned[k][j], 0x1B));
                    } else {
                        _mm_stream_si128(reinterpret_cast<__m128i*>(out + 4 * j), turned[k][j]);
                    }
                }
            }
        }
        _mm_sfence();
    }
#endif
    for (; x < width; ++x) {
        quint32* out = rowOf(x);
        for (int i = 0; i < count; ++i) {
            out[job.mirrored ? count - 1 - i : i] = band[i][x];
        }
    }
}

void DecodeRows(JpegJob& job)
{
    jpeg_decompress_struct& info = job.info;
    job.decoding = true;
    (void)jpeg_start_decompress(&info);
    JSAMPROW rows[BandRows];
    while (info.output_scanline < info.output_height) {
        const JDIMENSION first = info.output_scanline;
        const int count =
            static_cast<int>(std::min<JDIMENSION>(BandRows, info.output_height - first));
        const int top = static_cast<int>(
            job.flipped ? info.output_height - first - static_cast<JDIMENSION>(count) : first);
        if (job.banded) {
            job.imageTop = top;
        }
        for (int i = 0; i < count; ++i) {
            rows[i] = RowFor(job, first + i, i);
        }
        for (int done = 0; done < count;) {
            done += static_cast<int>(
                jpeg_read_scanlines(&info, rows + done, static_cast<JDIMENSION>(count - done)));
        }
        PlaceRows(job, first, count);
        if (job.sink != nullptr && !job.turned) {
            if (!job.sink->RowsDone(*job.picture, top, top + count, job.imageTop)) {
                job.stopped = true;
                return;
            }
        }
    }
    (void)jpeg_finish_decompress(&info);
}

// The EXIF orientation (1 to 8) Qt's reader applied, read the way it reads it: the APP1
// segments taken together as one block that starts as an EXIF one; in its first ten
// directories, the first orientation entry, which must be one unsigned short from 1 to 8.
// 1 where anything is amiss.
int ExifOrientation(jpeg_saved_marker_ptr markers)
{
    QByteArray exif;
    for (jpeg_saved_marker_ptr m = markers; m != nullptr; m = m->next) {
        if (m->marker == JPEG_APP0 + 1) {
            exif.append(reinterpret_cast<const char*>(m->data),
                        static_cast<qsizetype>(m->data_length));
        }
    }
    if (!exif.startsWith(QByteArrayView("Exif\0\0", 6))) {
        return 1;
    }
    const QByteArray tiff = exif.mid(6); // offsets count from here
    const bool little = tiff.startsWith("II");
    if (!little && !tiff.startsWith("MM")) {
        return 1;
    }
    // A field of `bytes` bytes at `at`; -1 where the block ends before it.
    const auto field = [&](qint64 at, int bytes) -> qint64 {
        if (at + bytes > tiff.size()) {
            return -1;
        }
        qint64 value = 0;
        for (int i = 0; i < bytes; ++i) {
            const auto byte = static_cast<uchar>(tiff[at + (little ? bytes - 1 - i : i)]);
            value = value << 8 | byte;
        }
        return value;
    };
    if (field(2, 2) != 42) {
        return 1;
    }
    qint64 offset = field(4, 4);
    qint64 pos = 8;
    for (int directory = 0; directory < 10; ++directory) {
        // Directories only ever lie further on.
        if (offset < pos || offset >= tiff.size()) {
            return 1;
        }
        pos = offset;
        const qint64 entries = field(pos, 2);
        pos += 2;
        for (qint64 entry = 0; entry < entries; ++entry, pos += 12) {
            if (field(pos, 2) == 0x0112) {
                const qint64 value = field(pos + 8, 2);
                const bool valid = field(pos + 2, 2) == 3 && field(pos + 4, 4) == 1;
                return valid && value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
            }
            if (pos + 12 > tiff.size()) {
                return 1;
            }
        }
        offset = field(pos, 4);
        pos += 4;
        if (offset <= 0) {
            return 1;
        }
    }
    return 1;
}

// The coefficient buffers of a decoder that holds the whole picture's coefficients until its
// last scan, as libjpeg sizes them: 64 of 2 bytes for each block of each component.
qint64 CoefficientBytes(const jpeg_decompress_struct& info)
{
    qint64 bytes = 0;
    for (int c = 0; c < info.num_components; ++c) {
        const jpeg_component_info& component = info.comp_info[c];
        const auto roundUp = [](qint64 n, qint64 multiple) {
            return (n + multiple - 1) / multiple * multiple;
        };
        bytes += roundUp(component.width_in_blocks, component.h_samp_factor) *
                 roundUp(component.height_in_blocks, component.v_samp_factor) * DCTSIZE2 *
                 static_cast<qint64>(sizeof(JCOEF));
    }
    return bytes;
}

class JpegDecoder final : public PictureDecoder
{
public:
    JpegDecoder() : job_(std::make_unique<JpegJob>()) {}

    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    ~JpegDecoder() override
    {
        if (job_->created) {
            jpeg_destroy_decompress(&job_->info);
        }
    }

    PictureResult CheckHeaders(QIODevice& device, qint64 size) override
    {
        JpegJob& job = *job_;
        job.device = &device;
        job.info.err = jpeg_std_error(&job.errors);
        job.errors.error_exit = OnError;
        job.errors.emit_message = OnMessage;
        job.errors.output_message = Silent;
        job.info.client_data = &job;
        job.source.init_source = StartInput;
        job.source.fill_input_buffer = FillInput;
        job.source.skip_input_data = SkipInput;
        job.source.resync_to_restart = jpeg_resync_to_restart;
        job.source.term_source = EndInput;
        job.progress.progress_monitor = OnProgress;
        if (!RunProtected(job, ReadHeader)) {
            return Failure();
        }

        const qint64 width = job.info.image_width;
        const qint64 height = job.info.image_height;
        if (PictureResult area = CheckArea(width, height, size, MaxPixelsPerFileByte);
            !area.ok()) {
            return area;
        }
        // Grey, YCbCr or RGB, and CMYK or YCCK; libjpeg knows no other.
        if (const int components = job.info.num_components;
            components != 1 && components != 3 && components != 4) {
            return {PictureStatus::Unsupported,
                    QStringLiteral("%1 colour components").arg(components)};
        }
        // A decoder of several scans holds every coefficient until the last, beside the picture.
        const qint64 needed =
            width * height * 4 + (job.multipleScans ? CoefficientBytes(job.info) : 0);
        if (needed > qint64{DecoderAllocationLimitMiB} << 20) {
            return {PictureStatus::OutOfMemory,
                    QStringLiteral("decoding it takes %1 MiB, more than the %2 MiB Lumenveil "
                                   "allows itself")
                        .arg((needed + (1 << 20) - 1) >> 20)
                        .arg(DecoderAllocationLimitMiB)};
        }
        const int orientation = ExifOrientation(job.info.marker_list);
        job.turned = orientation >= 5;
        job.mirrored = orientation == 2 || orientation == 3 || orientation == 6 ||
                       orientation == 7;
        job.flipped = orientation == 3 || orientation == 4 || orientation == 7 ||
                      orientation == 8;
        return {};
    }

    PictureResult Decode(QImage& out, RowSink* sink) override
    {
        JpegJob& job = *job_;
        const int width = static_cast<int>(job.info.image_width);
        const int height = static_cast<int>(job.info.image_height);
        // A sink that keeps the rows itself gets each band in the same few rows of memory.
        job.banded = sink != nullptr && !sink->KeepPicture() && !job.turned;
        job.imageTop = 0;
        QImage picture = AllocatePicture(job.turned ? height : width,
                                         job.turned  ? width
                                         : job.banded ? std::min(height, BandRows)
                                                      : height);
        if (picture.isNull()) {
            return NoMemory();
        }
        if (sink != nullptr && !sink->Begin(job.turned ? height : width,
                                             job.turned ? width : height)) {
            return {PictureStatus::Stopped, {}};
        }
        std::vector<uchar> band(job.turned ? static_cast<std::size_t>(width) * 4 * BandRows : 0);
        job.pixels = picture.bits();
        job.stride = picture.bytesPerLine();
        job.band = band.data();
        job.sink = sink;
        job.picture = &picture;
        job.cmyk = job.info.num_components == 4;
        // BGRA rather than BGRX: the same bytes, with the fourth one set to 0xFF as RGB32 wants.
        job.info.out_color_space = job.cmyk ? JCS_CMYK : JCS_EXT_BGRA;
        // libjpeg's own allowance: what the limit leaves beside the picture (under 2^31 bytes).
        job.info.mem->max_memory_to_use =
            static_cast<long>((qint64{DecoderAllocationLimitMiB} << 20) - picture.sizeInBytes());
        if (!RunProtected(job, DecodeRows)) {
            return Failure();
        }
        if (job.stopped ||
            (sink != nullptr && job.turned && !sink->RowsDone(picture, 0, picture.height(), 0))) {
            return {PictureStatus::Stopped, {}};
        }
        if (!job.banded) {
            out = std::move(picture);
        }
        return {};
    }

private:
    PictureResult NoMemory() const
    {
        return {PictureStatus::OutOfMemory,
                QStringLiteral("not enough memory for a picture of %1")
                    .arg(PixelCount(job_->info.image_width, job_->info.image_height))};
    }

    // What libjpeg's reason for giving up means for the user.
    PictureResult Failure() const
    {
        const QString message = QString::fromLatin1(job_->message);
        switch (job_->failure) {
        case TooManyScans:
            return {PictureStatus::Damaged,
                    QStringLiteral("it has more than %1 scans").arg(MaxScans)};
        case JWRN_JPEG_EOF:
        case JERR_INPUT_EOF:
        case JERR_INPUT_EMPTY:
            return {PictureStatus::Damaged,
                    QStringLiteral("the file ends before its picture data")};
        case JERR_OUT_OF_MEMORY:
        case JERR_NO_BACKING_STORE: return NoMemory();
        case JERR_IMAGE_TOO_BIG:
            return {PictureStatus::TooLarge,
                    PixelCount(job_->info.image_width, job_->info.image_height)};
        case JERR_ARITH_NOTIMPL:
        case JERR_BAD_PRECISION:
        case JERR_CONVERSION_NOTIMPL:
        case JERR_NOTIMPL:
        case JERR_SOF_UNSUPPORTED:
            return {PictureStatus::Unsupported, message.at(0).toLower() + message.mid(1)};
        default: break;
        }
        QString reason = message;
        reason.remove(QLatin1String("Corrupt JPEG data: "));
        if (reason.isEmpty()) {
            reason = QStringLiteral("the picture data cannot be decoded");
        }
        return {PictureStatus::Damaged, reason.at(0).toLower() + reason.mid(1)};
    }

    std::unique_ptr<JpegJob> job_;
};

} // namespace

std::unique_ptr<PictureDecoder> MakeJpegDecoder()
{
    return std::make_unique<JpegDecoder>();
}

} // namespace lumenveil
