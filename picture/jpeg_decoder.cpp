#include "picture/jpeg_decoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio> // jpeglib.h uses FILE and size_t without including their headers
#include <string>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64)
#define LUMENVEIL_JPEG_SSE2 1
#include <emmintrin.h>
#endif

#include <jpeglib.h>
// jerror.h after jpeglib.h: it needs its types.
#include <jerror.h>

namespace lumenveil {

namespace {

// A JPEG cannot pack more pixels than this into a byte of its file: every 8 x 8 block of every
// component takes at least one bit of the compressed data.
constexpr std::int64_t MaxPixelsPerFileByte = 512;

// Rows of the file decoded at a time where a quarter turn writes them as columns: 16 pixels
// of 4 bytes fill a cache line of the turned picture.
constexpr int TurnRows = 16;
static_assert(TurnRows == BandRows, "a band of rows is a cache line of a turned picture's row");

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
    int maxScans;       // more is damage
    int failure;        // libjpeg's message code for why it stopped, or TooManyScans
    char message[JMSG_LENGTH_MAX];
    SourceReader* reader;
    JOCTET input[InputBytes]; // read from the file, handed on in pieces
    const JOCTET* unread;
    std::size_t unreadBytes;
    bool readFailed; // the system could not read the file

    // Where the rows go. The picture is `output_width` x `output_height` as the file stores
    // it; `turned` pictures are written transposed (a quarter turn), then `mirrored` (right to
    // left) and `flipped` (bottom to top) in the final picture's own directions.
    unsigned char* pixels; // the final picture's row `imageTop`
    std::ptrdiff_t stride; // bytes per row of the final picture
    int imageTop;
    bool turned;
    bool mirrored;
    bool flipped;
    bool cmyk;            // rows arrive as Adobe's inverted CMYK and become RGB32 in place
    unsigned char* band;  // TurnRows rows of the file, where `turned`
    int rowsWanted;       // rows of the file the next DecodeRows is to decode
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
    if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > JobOf(info).maxScans) {
        GiveUp(info, TooManyScans);
    }
}

void StartInput(j_decompress_ptr) {}

void EndInput(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr info)
{
    JpegJob& job = JobOf(reinterpret_cast<j_common_ptr>(info));
    if (job.unreadBytes == 0) {
        const std::int64_t got = job.reader->Read(job.input, InputBytes);
        job.readFailed = got < 0;
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
    // A skip past the end leaves the reader there; the next fill finds the end.
    job.reader->Skip(static_cast<std::int64_t>(bytes - buffered));
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

void ReadJpegHeader(JpegJob& job)
{
    jpeg_create_decompress(&job.info);
    job.created = true;
    job.info.src = &job.source;
    job.info.progress = &job.progress;
    jpeg_save_markers(&job.info, JPEG_APP0 + 1, 0xFFFF); // EXIF
    (void)jpeg_read_header(&job.info, TRUE);
    job.multipleScans = jpeg_has_multiple_scans(&job.info) != FALSE;
}

void StartDecompress(JpegJob& job)
{
    job.decoding = true;
    (void)jpeg_start_decompress(&job.info);
}

// Where row `y` of the file is decoded to: the final picture's row, or the band's `i`th row.
unsigned char* RowFor(const JpegJob& job, JDIMENSION y, int i)
{
    if (job.turned) {
        return job.band + static_cast<std::ptrdiff_t>(i) * job.info.output_width * 4;
    }
    const JDIMENSION row = job.flipped ? job.info.output_height - 1 - y : y;
    return job.pixels + (static_cast<std::ptrdiff_t>(row) - job.imageTop) * job.stride;
}

// Adobe's inverted CMYK to B, G, R, 0xFF, as Qt's reader did it: each ink scaled by the black.
void CmykToRgb32(unsigned char* row, JDIMENSION width)
{
    for (JDIMENSION x = 0; x < width; ++x, row += 4) {
        const unsigned k = row[3];
        const unsigned r = k * row[0] / 255;
        const unsigned g = k * row[1] / 255;
        const unsigned b = k * row[2] / 255;
        row[0] = static_cast<unsigned char>(b);
        row[1] = static_cast<unsigned char>(g);
        row[2] = static_cast<unsigned char>(r);
        row[3] = 0xFF;
    }
}

// Finishes `count` rows of the file from row `first` on, decoded where RowFor put them.
void PlaceRows(const JpegJob& job, JDIMENSION first, int count)
{
    const JDIMENSION width = job.info.output_width;
    const JDIMENSION height = job.info.output_height;
    for (int i = 0; i < count; ++i) {
        auto* row = reinterpret_cast<std::uint32_t*>(RowFor(job, first + i, i));
        if (job.cmyk) {
            CmykToRgb32(reinterpret_cast<unsigned char*>(row), width);
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
    const std::uint32_t* band[TurnRows];
    for (int i = 0; i < count; ++i) {
        band[i] = reinterpret_cast<const std::uint32_t*>(RowFor(job, first + i, i));
    }
    const JDIMENSION lowest = job.mirrored ? height - first - static_cast<JDIMENSION>(count) : first;
    const auto rowOf = [&job, width, lowest](JDIMENSION x) {
        const JDIMENSION y = job.flipped ? width - 1 - x : x;
        return reinterpret_cast<std::uint32_t*>(job.pixels + static_cast<std::ptrdiff_t>(y) * job.stride) +
               lowest;
    };
    JDIMENSION x = 0;
#ifdef LUMENVEIL_JPEG_SSE2
    // A whole band into 16-byte aligned places: four by four pixels turned in registers, and
    // each row's 64 bytes stored past the cache, which would only fetch the line to fill it.
    if (count == TurnRows && reinterpret_cast<std::uintptr_t>(job.pixels) % 16 == 0 &&
        job.stride % 16 == 0 && lowest % 4 == 0) {
        for (; x + 4 <= width; x += 4) {
            __m128i turned[4][TurnRows / 4]; // [pixel x + k][rows 4j .. 4j + 3]
            for (int j = 0; j < TurnRows / 4; ++j) {
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
                std::uint32_t* out = rowOf(x + static_cast<JDIMENSION>(k));
                for (int j = 0; j < TurnRows / 4; ++j) {
                    if (job.mirrored) {
                        _mm_stream_si128(reinterpret_cast<__m128i*>(out + TurnRows - 4 - 4 * j),
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
        std::uint32_t* out = rowOf(x);
        for (int i = 0; i < count; ++i) {
            out[job.mirrored ? count - 1 - i : i] = band[i][x];
        }
    }
}

// Decodes job.rowsWanted rows of the file from the next one on, into their places.
void DecodeRows(JpegJob& job)
{
    jpeg_decompress_struct& info = job.info;
    const JDIMENSION first = info.output_scanline;
    const int count = job.rowsWanted;
    JSAMPROW rows[TurnRows];
    for (int i = 0; i < count; ++i) {
        rows[i] = RowFor(job, first + static_cast<JDIMENSION>(i), i);
    }
    for (int done = 0; done < count;) {
        done += static_cast<int>(
            jpeg_read_scanlines(&info, rows + done, static_cast<JDIMENSION>(count - done)));
    }
    PlaceRows(job, first, count);
}

// A turned picture: every row of the file, a band at a time, into the columns of the picture.
void DecodeTurned(JpegJob& job)
{
    while (job.info.output_scanline < job.info.output_height) {
        job.rowsWanted = static_cast<int>(
            std::min<JDIMENSION>(TurnRows, job.info.output_height - job.info.output_scanline));
        DecodeRows(job);
    }
}

void FinishDecompress(JpegJob& job)
{
    (void)jpeg_finish_decompress(&job.info);
}

// The EXIF orientation (1 to 8) Qt's reader applied, read the way it reads it: the APP1
// segments taken together as one block that starts as an EXIF one; in its first ten
// directories, the first orientation entry, which must be one unsigned short from 1 to 8.
// 1 where anything is amiss.
int ExifOrientation(jpeg_saved_marker_ptr markers)
{
    std::string exif;
    for (jpeg_saved_marker_ptr m = markers; m != nullptr; m = m->next) {
        if (m->marker == JPEG_APP0 + 1) {
            exif.append(reinterpret_cast<const char*>(m->data), m->data_length);
        }
    }
    if (exif.compare(0, 6, std::string_view("Exif\0\0", 6)) != 0) {
        return 1;
    }
    const std::string tiff = exif.substr(6); // offsets count from here
    const bool little = tiff.starts_with("II");
    if (!little && !tiff.starts_with("MM")) {
        return 1;
    }
    const auto size = static_cast<std::int64_t>(tiff.size());
    // A field of `bytes` bytes at `at`; -1 where the block ends before it.
    const auto field = [&](std::int64_t at, int bytes) -> std::int64_t {
        if (at + bytes > size) {
            return -1;
        }
        std::int64_t value = 0;
        for (int i = 0; i < bytes; ++i) {
            const auto byte = static_cast<unsigned char>(tiff[static_cast<std::size_t>(at + (little ? bytes - 1 - i : i))]);
            value = value << 8 | byte;
        }
        return value;
    };
    if (field(2, 2) != 42) {
        return 1;
    }
    std::int64_t offset = field(4, 4);
    std::int64_t pos = 8;
    for (int directory = 0; directory < 10; ++directory) {
        // Directories only ever lie further on.
        if (offset < pos || offset >= size) {
            return 1;
        }
        pos = offset;
        const std::int64_t entries = field(pos, 2);
        pos += 2;
        for (std::int64_t entry = 0; entry < entries; ++entry, pos += 12) {
            if (field(pos, 2) == 0x0112) {
                const std::int64_t value = field(pos + 8, 2);
                const bool valid = field(pos + 2, 2) == 3 && field(pos + 4, 4) == 1;
                return valid && value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
            }
            if (pos + 12 > size) {
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
std::int64_t CoefficientBytes(const jpeg_decompress_struct& info)
{
    std::int64_t bytes = 0;
    for (int c = 0; c < info.num_components; ++c) {
        const jpeg_component_info& component = info.comp_info[c];
        const auto roundUp = [](std::int64_t n, std::int64_t multiple) {
            return (n + multiple - 1) / multiple * multiple;
        };
        bytes += roundUp(component.width_in_blocks, component.h_samp_factor) *
                 roundUp(component.height_in_blocks, component.v_samp_factor) * DCTSIZE2 *
                 static_cast<std::int64_t>(sizeof(JCOEF));
    }
    return bytes;
}

class JpegDecoder final : public PictureDecoder
{
public:
    JpegDecoder(ByteSource& source, const DecodeLimits& limits)
        : PictureDecoder(source, limits), reader_(source), job_(std::make_unique<JpegJob>())
    {}

    ~JpegDecoder() override
    {
        if (job_->created) {
            jpeg_destroy_decompress(&job_->info);
        }
    }

    PictureResult ReadHeader() override
    {
        JpegJob& job = *job_;
        job.reader = &reader_;
        job.maxScans = limits_.scans;
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
        if (!RunProtected(job, ReadJpegHeader)) {
            return Failure();
        }

        const std::int64_t width = job.info.image_width;
        const std::int64_t height = job.info.image_height;
        if (PictureResult area = CheckArea(width, height, MaxPixelsPerFileByte); !area.ok()) {
            return area;
        }
        // Grey, YCbCr or RGB, and CMYK or YCCK; libjpeg knows no other.
        if (const int components = job.info.num_components;
            components != 1 && components != 3 && components != 4) {
            return PictureFailure(PictureStatus::Unsupported,
                                  std::to_string(components) + " colour components");
        }
        const int orientation = ExifOrientation(job.info.marker_list);
        job.turned = orientation >= 5;
        job.mirrored = orientation == 2 || orientation == 3 || orientation == 6 ||
                       orientation == 7;
        job.flipped = orientation == 3 || orientation == 4 || orientation == 7 ||
                      orientation == 8;
        SetSize(static_cast<int>(job.turned ? height : width),
                static_cast<int>(job.turned ? width : height));
        return {};
    }

    // A turned picture has no final row before its last band; a flipped one finishes its
    // rows from the bottom.
    Order RowOrder() const override
    {
        return job_->turned ? Order::Whole : job_->flipped ? Order::BottomUp : Order::TopDown;
    }

protected:
    // A decoder of several scans holds every coefficient until the last, beside the picture;
    // a turned one decodes a band of the file's rows before it turns them.
    std::int64_t WorkingBytes() const override
    {
        const JpegJob& job = *job_;
        return (job.multipleScans ? CoefficientBytes(job.info) : 0) +
               (job.turned ? std::int64_t{job.info.image_width} * 4 * TurnRows : 0);
    }

    PictureResult BeginRows() override
    {
        JpegJob& job = *job_;
        if (job.turned) {
            try {
                band_.resize(static_cast<std::size_t>(job.info.image_width) * 4 * TurnRows);
            } catch (const std::bad_alloc&) {
                return NoMemory();
            }
        }
        job.band = band_.data();
        job.cmyk = job.info.num_components == 4;
        // BGRA rather than BGRX: the same bytes, with the fourth one set to 0xFF.
        job.info.out_color_space = job.cmyk ? JCS_CMYK : JCS_EXT_BGRA;
        // libjpeg's own allowance: what the limit leaves beside the picture.
        const std::int64_t pixels = std::int64_t{Width()} *
                                    (job.turned || KeepsWhole() ? Height() : BandRows) * 4;
        job.info.mem->max_memory_to_use =
            static_cast<long>(std::clamp<std::int64_t>(limits_.memoryBytes - pixels, 0,
                                                       std::int64_t{0x7FFFFFFF}));
        return RunProtected(job, StartDecompress) ? PictureResult{} : Failure();
    }

    PictureResult DecodeBand(const RowBand& band) override
    {
        JpegJob& job = *job_;
        job.stride = band.stride;
        if (job.turned) {
            job.pixels = band.pixels;
            job.imageTop = 0;
            if (!RunProtected(job, DecodeTurned)) {
                return Failure();
            }
        } else {
            job.pixels = band.pixels;
            job.imageTop = band.top;
            job.rowsWanted = band.Rows();
            if (!RunProtected(job, DecodeRows)) {
                return Failure();
            }
        }
        if (job.info.output_scanline >= job.info.output_height &&
            !RunProtected(job, FinishDecompress)) {
            return Failure();
        }
        return {};
    }

private:
    PictureResult NoMemory() const
    {
        return PictureFailure(PictureStatus::OutOfMemory,
                              "not enough memory for a picture of " +
                                  PixelCount(job_->info.image_width, job_->info.image_height));
    }

    // What libjpeg's reason for giving up means for the user.
    PictureResult Failure() const
    {
        std::string message = job_->message;
        const auto lowered = [](std::string text) {
            if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') {
                text[0] = static_cast<char>(text[0] - 'A' + 'a');
            }
            return text;
        };
        if (job_->readFailed) {
            return PictureFailure(PictureStatus::NotReadable, source_.Error());
        }
        switch (job_->failure) {
        case TooManyScans:
            return PictureFailure(PictureStatus::Damaged,
                                  "it has more than " + std::to_string(limits_.scans) + " scans");
        case JWRN_JPEG_EOF:
        case JERR_INPUT_EOF:
        case JERR_INPUT_EMPTY:
            return PictureFailure(PictureStatus::Damaged, "the file ends before its picture data");
        case JERR_OUT_OF_MEMORY:
        case JERR_NO_BACKING_STORE: return NoMemory();
        case JERR_IMAGE_TOO_BIG:
            return PictureFailure(PictureStatus::TooLarge,
                                  PixelCount(job_->info.image_width, job_->info.image_height));
        case JERR_ARITH_NOTIMPL:
        case JERR_BAD_PRECISION:
        case JERR_CONVERSION_NOTIMPL:
        case JERR_NOTIMPL:
        case JERR_SOF_UNSUPPORTED: return PictureFailure(PictureStatus::Unsupported, lowered(message));
        default: break;
        }
        constexpr std::string_view Corrupt = "Corrupt JPEG data: ";
        if (message.starts_with(Corrupt)) {
            message.erase(0, Corrupt.size());
        }
        if (message.empty()) {
            message = "the picture data cannot be decoded";
        }
        return PictureFailure(PictureStatus::Damaged, lowered(message));
    }

    SourceReader reader_;
    std::unique_ptr<JpegJob> job_;
    std::vector<unsigned char> band_;
};

} // namespace

std::unique_ptr<PictureDecoder> MakeJpegDecoder(ByteSource& source, const DecodeLimits& limits)
{
    return std::make_unique<JpegDecoder>(source, limits);
}

} // namespace lumenveil
