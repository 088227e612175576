#include "codecs/png_writer.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "codecs/png_reader.h"

namespace {

// Raw bytes per band: enough that a band's zlib work dwarfs its set-up
// (deflateReset clears a 64 KiB table) and the full flush at its end costs
// nothing in size, few enough that the threads share the work evenly.
constexpr std::size_t band_target_bytes = std::size_t{1} << 18;
// Units of work per thread in a wave. While the threads compress a wave,
// one of them writes the wave before, in order, as one unit; so a wave holds
// four units a thread, the writing among them, only two waves' output is
// ever held, in buffers used again and again, and only the last wave's
// writing (on 16 threads some 8 MB to check and copy) is left when the
// compressing ends. With two units a thread and bands of 1 MiB, two threads
// wrote a 4096 x 3072 picture 1.5 times as fast as one (0.19 s, 0.29 s);
// so, 1.75 times (0.16 s, 0.28 s), for a file 0.01 % larger.
constexpr std::int64_t units_per_thread = 4;

struct png_write_state {
    png_structp png = nullptr;
    png_infop info = nullptr;
    codec_message message;  // the first fault

    ~png_write_state() { png_destroy_write_struct(&png, &info); }
};

[[noreturn]] void on_error(png_structp png, png_const_charp text)
{
    auto* state = static_cast<png_write_state*>(png_get_error_ptr(png));
    if (!state->message.failed())
        state->message = codec_fail_text(codec_fault::output, "PNG: ", text);
    png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

int strategy_of(zlib_strategy strategy)
{
    switch (strategy) {
    case zlib_strategy::standard:
        return Z_DEFAULT_STRATEGY;
    case zlib_strategy::filtered:
        return Z_FILTERED;
    case zlib_strategy::run_length:
        return Z_RLE;
    }
    return Z_DEFAULT_STRATEGY;
}

int colour_type(int channels)
{
    switch (channels) {
    case 1:
        return PNG_COLOR_TYPE_GRAY;
    case 2:
        return PNG_COLOR_TYPE_GRAY_ALPHA;
    case 3:
        return PNG_COLOR_TYPE_RGB;
    default:
        return PNG_COLOR_TYPE_RGBA;
    }
}

// The two bytes zlib puts before a deflate stream with a 32 KiB window, its
// level flags as zlib sets them, padded to a multiple of 31.
void zlib_header(const png_write_options& options, std::uint8_t out[2])
{
    const int level = options.zlib_level == Z_DEFAULT_COMPRESSION ? 6 : options.zlib_level;
    const int flags = options.strategy == zlib_strategy::run_length || level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    unsigned header = (Z_DEFLATED + (7 << 4)) << 8 | flags << 6;
    header += 31 - header % 31;
    out[0] = static_cast<std::uint8_t>(header >> 8);
    out[1] = static_cast<std::uint8_t>(header);
}

// The filters of the PNG standard on one row: out[0] is the filter type,
// out[1 .. n] the row less its predictor, from the row's own bytes `raw`
// and those of the row above, `prev` (zeros above the first row). The
// predictor of byte i takes a = raw[i - bpp], b = prev[i] and
// c = prev[i - bpp], 0 left of the row.
template <typename Predict>
void filter_with(const std::uint8_t* raw, const std::uint8_t* prev, std::size_t n, std::size_t bpp,
                 std::uint8_t* to, Predict predict)
{
    const std::size_t left = std::min(bpp, n);
    for (std::size_t i = 0; i < left; ++i)
        to[i] = static_cast<std::uint8_t>(raw[i] - predict(0, prev[i], 0));
    for (std::size_t i = left; i < n; ++i)
        to[i] = static_cast<std::uint8_t>(raw[i] - predict(raw[i - bpp], prev[i], prev[i - bpp]));
}

// The neighbour nearest to a + b - c; ties go to a, then b.
inline int paeth(int a, int b, int c)
{
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    const int ab = pb < pa ? b : a;
    return pc < std::min(pa, pb) ? c : ab;
}

// Paeth, the default filter, eight bytes at a time in 16-bit lanes (SSE2 is
// part of every x86-64); the same choices as paeth(), so the same bytes.
void filter_paeth(const std::uint8_t* raw, const std::uint8_t* prev, std::size_t n, std::size_t bpp,
                  std::uint8_t* to)
{
    const auto predict = [](int a, int b, int c) { return paeth(a, b, c); };
#if defined(__SSE2__)
    if (n >= bpp + 8) {
        filter_with(raw, prev, bpp, bpp, to, predict);
        const __m128i zero = _mm_setzero_si128();
        const __m128i low_byte = _mm_set1_epi16(0xFF);
        const auto widen = [&](const std::uint8_t* at) {
            return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at)), zero);
        };
        const auto magnitude = [&](__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(zero, v)); };
        std::size_t i = bpp;
        for (; i + 8 <= n; i += 8) {
            const __m128i a = widen(raw + i - bpp), b = widen(prev + i), c = widen(prev + i - bpp);
            const __m128i pa = magnitude(_mm_sub_epi16(b, c));
            const __m128i pb = magnitude(_mm_sub_epi16(a, c));
            const __m128i pc = magnitude(_mm_sub_epi16(_mm_add_epi16(a, b), _mm_add_epi16(c, c)));
            const __m128i take_b = _mm_cmplt_epi16(pb, pa);
            const __m128i ab = _mm_or_si128(_mm_and_si128(take_b, b), _mm_andnot_si128(take_b, a));
            const __m128i take_c = _mm_cmplt_epi16(pc, _mm_min_epi16(pa, pb));
            const __m128i p = _mm_or_si128(_mm_and_si128(take_c, c), _mm_andnot_si128(take_c, ab));
            const __m128i d = _mm_and_si128(_mm_sub_epi16(widen(raw + i), p), low_byte);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(to + i), _mm_packus_epi16(d, zero));
        }
        for (; i < n; ++i)
            to[i] = static_cast<std::uint8_t>(raw[i] - paeth(raw[i - bpp], prev[i], prev[i - bpp]));
        return;
    }
#endif
    filter_with(raw, prev, n, bpp, to, predict);
}

void filter_row(int type, const std::uint8_t* raw, const std::uint8_t* prev, std::size_t n, std::size_t bpp,
                std::uint8_t* out)
{
    out[0] = static_cast<std::uint8_t>(type);
    std::uint8_t* to = out + 1;
    switch (type) {
    case 1:
        filter_with(raw, prev, n, bpp, to, [](int a, int, int) { return a; });
        break;
    case 2:
        filter_with(raw, prev, n, bpp, to, [](int, int b, int) { return b; });
        break;
    case 3:
        filter_with(raw, prev, n, bpp, to, [](int a, int b, int) { return (a + b) >> 1; });
        break;
    case 4:
        filter_paeth(raw, prev, n, bpp, to);
        break;
    default:
        std::memcpy(to, raw, n);
    }
}

// The usual heuristic for choosing a filter: the smallest sum of the
// filtered bytes taken as signed.
std::uint64_t signed_sum(const std::uint8_t* row, std::size_t n)
{
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += static_cast<std::uint64_t>(std::abs(static_cast<int>(static_cast<std::int8_t>(row[i]))));
    return sum;
}

// The filtered row in out, of the option's type or, adaptive, the best one
// (trial holds the others while they are tried).
void filter_chosen(png_row_filter filter, const std::uint8_t* raw, const std::uint8_t* prev, std::size_t n,
                   std::size_t bpp, std::uint8_t* out, std::uint8_t* trial)
{
    if (filter != png_row_filter::adaptive) {
        filter_row(static_cast<int>(filter), raw, prev, n, bpp, out);
        return;
    }
    filter_row(0, raw, prev, n, bpp, out);
    std::uint64_t best = signed_sum(out + 1, n);
    for (int type = 1; type <= 4; ++type) {
        filter_row(type, raw, prev, n, bpp, trial);
        const std::uint64_t sum = signed_sum(trial + 1, n);
        if (sum < best) {
            best = sum;
            std::memcpy(out, trial, n + 1);
        }
    }
}

// A thread's compressor and row buffers, made the first time the thread
// takes a band.
struct band_worker {
    z_stream z{};
    bool ready = false;
    std::uint8_t* rows = nullptr;  // zeros, two stored rows, the filtered row and a trial row

    ~band_worker()
    {
        if (ready)
            deflateEnd(&z);
        std::free(rows);
    }
};

// One band's compressed bytes.
struct band_slot {
    std::uint8_t* bytes;
    std::size_t size;
    uLong adler;         // of the band's filtered bytes
    std::size_t length;  // how many there are
    bool failed;
};

struct band_job {
    const picture* image;
    const png_write_options* options;
    std::size_t row;   // bytes of a stored row
    std::size_t bpp;   // bytes of a pixel
    bool swap;         // 16-bit samples in the machine's order, little-endian
    std::int32_t band_rows;
    std::int64_t bands;
    std::int64_t wave;  // bands per wave
    band_slot* slots;   // two waves' worth: wave w goes to the (w % 2)th
    std::size_t slot_capacity;
    band_worker* workers;
    png_write_state* state;
    std::uint8_t header[2];  // the zlib stream's
    uLong adler;             // of the bands written so far
    std::int64_t round;      // compresses wave `round`, writes wave `round - 1`
    bool written;            // every write so far went through
};

std::int64_t wave_bands(const band_job& job, std::int64_t wave)
{
    return std::clamp<std::int64_t>(job.bands - wave * job.wave, 0, job.wave);
}

band_slot* wave_slots(const band_job& job, std::int64_t wave)
{
    return job.slots + wave % 2 * job.wave;
}

bool make_worker(const band_job& job, band_worker* w)
{
    if (!w->rows) {
        w->rows = static_cast<std::uint8_t*>(std::calloc(5, job.row + 1));
        if (!w->rows)
            return false;
    }
    if (!w->ready)
        w->ready = deflateInit2(&w->z, job.options->zlib_level, Z_DEFLATED, -15, 8, strategy_of(job.options->strategy)) ==
                   Z_OK;
    return w->ready;
}

// Row y as the file stores it: 16-bit samples big-endian.
const std::uint8_t* stored_row(const band_job& job, std::int32_t y, std::uint8_t* scratch)
{
    const std::uint8_t* row = job.image->samples.get() + static_cast<std::size_t>(y) * job.row;
    if (!job.swap)
        return row;
    for (std::size_t i = 0; i < job.row; i += 2) {
        scratch[i] = row[i + 1];
        scratch[i + 1] = row[i];
    }
    return scratch;
}

bool compress_band(const band_job& job, band_worker* w, std::int64_t band, band_slot* slot)
{
    if (!make_worker(job, w) || deflateReset(&w->z) != Z_OK)
        return false;
    const std::size_t n = job.row;
    std::uint8_t* zeros = w->rows;
    std::uint8_t* stored[2] = {w->rows + (n + 1), w->rows + 2 * (n + 1)};
    std::uint8_t* filtered = w->rows + 3 * (n + 1);
    std::uint8_t* trial = w->rows + 4 * (n + 1);
    const auto first = static_cast<std::int32_t>(band * job.band_rows);
    const std::int32_t end = std::min(job.image->info.height, first + job.band_rows);
    z_stream& z = w->z;
    z.next_out = slot->bytes;
    z.avail_out = static_cast<uInt>(job.slot_capacity);
    slot->adler = adler32(0, nullptr, 0);
    const std::uint8_t* prev = first == 0 ? zeros : stored_row(job, first - 1, stored[0]);
    for (std::int32_t y = first; y < end; ++y) {
        const std::uint8_t* raw = stored_row(job, y, stored[(y - first + 1) % 2]);
        filter_chosen(job.options->filter, raw, prev, n, job.bpp, filtered, trial);
        slot->adler = adler32(slot->adler, filtered, static_cast<uInt>(n + 1));
        z.next_in = filtered;
        z.avail_in = static_cast<uInt>(n + 1);
        if (deflate(&z, Z_NO_FLUSH) != Z_OK || z.avail_in != 0)
            return false;
        prev = raw;
    }
    // A full flush ends the band on a byte with an empty stored block, so
    // that the next band's raw deflate data follows as if one stream had
    // gone on; the last band ends the stream.
    const bool last = band == job.bands - 1;
    const int done = deflate(&z, last ? Z_FINISH : Z_FULL_FLUSH);
    if (done != (last ? Z_STREAM_END : Z_OK) || z.avail_out == 0)
        return false;
    slot->size = job.slot_capacity - z.avail_out;
    slot->length = static_cast<std::size_t>(end - first) * (n + 1);
    return true;
}

// Holds nothing with a destructor, since it calls setjmp.
bool write_head(png_write_state* state, std::FILE* out, const picture& image, bool with_profile)
{
    if (setjmp(png_jmpbuf(state->png)))
        return false;
    png_structp png = state->png;
    const picture_info& info = image.info;
    const int depth = info.format == sample_format::u16 ? 16 : 8;
    png_init_io(png, out);
    // A profile libpng finds unfit becomes a (silent) warning.
    png_set_benign_errors(png, 1);
    png_set_IHDR(png, state->info, static_cast<png_uint_32>(info.width), static_cast<png_uint_32>(info.height), depth,
                 colour_type(info.channels), PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (with_profile)
        png_set_iCCP(png, state->info, "ICC profile", PNG_COMPRESSION_TYPE_BASE, image.icc.get(),
                     static_cast<png_uint_32>(image.icc_size));
    png_write_info(png, state->info);
    return true;
}

// Wave `wave` as one IDAT chunk per band: the zlib header before the first
// band's data, the Adler-32 of all the filtered bytes after the last's;
// IEND after that. Holds nothing with a destructor, since it calls setjmp.
bool write_wave(band_job* job, std::int64_t wave)
{
    if (setjmp(png_jmpbuf(job->state->png)))
        return false;
    png_structp png = job->state->png;
    const band_slot* slots = wave_slots(*job, wave);
    for (std::int64_t i = 0; i < wave_bands(*job, wave); ++i) {
        const band_slot& slot = slots[i];
        const std::int64_t band = wave * job->wave + i;
        const bool first = band == 0;
        const bool last = band == job->bands - 1;
        const uLong adler = job->adler = adler32_combine(job->adler, slot.adler, static_cast<z_off_t>(slot.length));
        png_write_chunk_start(png, reinterpret_cast<png_const_bytep>("IDAT"),
                              static_cast<png_uint_32>(slot.size + (first ? 2 : 0) + (last ? 4 : 0)));
        if (first)
            png_write_chunk_data(png, job->header, 2);
        png_write_chunk_data(png, slot.bytes, slot.size);
        if (last) {
            const std::uint8_t check[4] = {static_cast<std::uint8_t>(adler >> 24), static_cast<std::uint8_t>(adler >> 16),
                                           static_cast<std::uint8_t>(adler >> 8), static_cast<std::uint8_t>(adler)};
            png_write_chunk_data(png, check, 4);
        }
        png_write_chunk_end(png);
    }
    if (wave_bands(*job, wave + 1) == 0)
        png_write_chunk(png, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0);
    return true;
}

// Unit 0 of a round after the first writes the wave before; the others
// compress this round's wave.
void run_round_unit(void* context, int thread, std::int64_t unit)
{
    auto* job = static_cast<band_job*>(context);
    const bool writes = job->round > 0;
    if (writes && unit == 0) {
        job->written = write_wave(job, job->round - 1);
        return;
    }
    const std::int64_t i = unit - (writes ? 1 : 0);
    band_slot* slot = wave_slots(*job, job->round) + i;
    slot->failed = !compress_band(*job, &job->workers[thread], job->round * job->wave + i, slot);
}

}  // namespace

codec_message png_write(std::FILE* out, const picture& image, const png_write_options& options,
                        codec_warnings* warnings, const band_runner& runner)
{
    const picture_info& info = image.info;
    if (info.format == sample_format::f32 || info.premultiplied || info.channels < 1 || info.channels > 4)
        return codec_fail(codec_fault::output, "PNG holds 8 or 16-bit samples with straight alpha only");
    png_write_state state;
    state.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, on_error, on_warning);
    if (state.png)
        state.info = png_create_info_struct(state.png);
    if (!state.info)
        return codec_fail(codec_fault::memory, "no memory for the PNG encoder");

    band_job job{};
    job.image = &image;
    job.options = &options;
    job.row = row_bytes(info);
    job.bpp = pixel_bytes(info);
    job.swap = info.format == sample_format::u16 && std::endian::native == std::endian::little;
    job.band_rows = static_cast<std::int32_t>(
        std::clamp<std::size_t>(band_target_bytes / (job.row + 1), 1, static_cast<std::size_t>(info.height)));
    job.bands = (info.height + job.band_rows - 1) / job.band_rows;
    const int threads = std::max(1, runner.threads);
    job.wave = std::min(job.bands, std::max<std::int64_t>(1, units_per_thread * threads - 1));
    const std::int64_t waves = (job.bands + job.wave - 1) / job.wave;
    // Deflate falls back on stored blocks, five bytes per 64 KiB, when it
    // cannot compress; the rest is room to spare, never touched.
    const std::size_t raw = static_cast<std::size_t>(job.band_rows) * (job.row + 1);
    job.slot_capacity = raw + raw / 8 + 1024;
    std::unique_ptr<band_worker[]> workers(new (std::nothrow) band_worker[static_cast<std::size_t>(threads)]);
    block_ptr slot_list, slot_bytes;
    const auto slots = static_cast<std::size_t>(2 * job.wave);
    codec_message message = allocate_block(slots * sizeof(band_slot), "PNG bands", &slot_list);
    if (!message.failed())
        message = allocate_block(slots * job.slot_capacity, "PNG bands", &slot_bytes);
    if (message.failed())
        return message;
    if (!workers)
        return codec_fail(codec_fault::memory, "no memory for the PNG encoder");
    job.workers = workers.get();
    job.slots = reinterpret_cast<band_slot*>(slot_list.get());
    for (std::size_t i = 0; i < slots; ++i)
        job.slots[i].bytes = slot_bytes.get() + i * job.slot_capacity;

    const bool fits = image.icc_size <= png_largest_profile;
    if (!fits)
        codec_warn(warnings, "the colour profile (%zu bytes) is too large for PNG and is left out", image.icc_size);
    if (!write_head(&state, out, image, image.icc && image.icc_size > 0 && fits))
        return state.message;
    job.state = &state;
    zlib_header(options, job.header);
    job.adler = adler32(0, nullptr, 0);
    job.written = true;
    for (job.round = 0; job.round <= waves; ++job.round) {
        const std::int64_t count = wave_bands(job, job.round);
        run_bands(runner, count + (job.round > 0 ? 1 : 0), run_round_unit, &job);
        if (!job.written)
            return state.message;
        const band_slot* made = wave_slots(job, job.round);
        for (std::int64_t i = 0; i < count; ++i)
            if (made[i].failed)
                return codec_fail(codec_fault::memory, "no memory for the PNG encoder");
    }
    return {};
}
