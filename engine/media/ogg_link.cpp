#include "ogg_link.h"

#include <ogg/ogg.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace zyn {
namespace {

// vorbisfile looks for the last page in the last 64 KiB first; a page is
// never longer than 27 + 255 + 255 * 255 bytes.
constexpr int64_t kTailWindow = 65536;
constexpr int64_t kLongestPage = 27 + 255 + 255 * 255;
constexpr long kReadBytes = 4096;

struct Page {
    bool found = false;
    int64_t start = 0;
    int64_t end = 0;
    long serial = 0;
    bool bos = false;
};

// Whole, checksummed pages from an offset on, as libogg finds them (the
// same way vorbisfile does, so that both see the same pages).
class PageScan {
  public:
    PageScan(ByteSource &source, int64_t from, int64_t to) : source_(source), position_(from), read_(from), to_(to) {
        ogg_sync_init(&sync_);
    }
    ~PageScan() { ogg_sync_clear(&sync_); }
    PageScan(const PageScan &) = delete;
    PageScan &operator=(const PageScan &) = delete;

    // raw, when given, is the page itself, valid until the next call.
    bool next(Page *out, ogg_page *raw = nullptr) {
        ogg_page page;
        for (;;) {
            const long got = ogg_sync_pageseek(&sync_, &page);
            if (got < 0) {
                position_ -= got;
            } else if (got > 0) {
                *out = {true, position_, position_ + got, ogg_page_serialno(&page), ogg_page_bos(&page) != 0};
                if (raw != nullptr) *raw = page;
                position_ += got;
                return true;
            } else {
                const int64_t left = to_ - read_;
                if (left <= 0) return false;
                const long want = left < kReadBytes ? static_cast<long>(left) : kReadBytes;
                char *buffer = ogg_sync_buffer(&sync_, want);
                if (buffer == nullptr) return false;
                const size_t got_bytes = source_.read_at(read_, buffer, static_cast<size_t>(want));
                if (got_bytes == 0) return false;
                ogg_sync_wrote(&sync_, static_cast<long>(got_bytes));
                read_ += static_cast<int64_t>(got_bytes);
            }
        }
    }

  private:
    ByteSource &source_;
    ogg_sync_state sync_;
    int64_t position_;  // where the next page found starts to count from
    int64_t read_;      // next byte to hand to libogg
    int64_t to_;
};

bool listed(const std::vector<long> &serials, long serial) {
    return std::find(serials.begin(), serials.end(), serial) != serials.end();
}

// The streams of the first link: the run of first pages that begin a
// stream, as vorbisfile gathers them.
std::vector<long> first_link_streams(ByteSource &source) {
    std::vector<long> serials;
    PageScan scan(source, 0, source.length());
    for (Page p; scan.next(&p) && p.bos && !listed(serials, p.serial);) serials.push_back(p.serial);
    return serials;
}

// The last page that ends by end, stepping back a window at a time; each
// window is read only as far as a page from it could reach.
Page last_page(ByteSource &source, int64_t end) {
    for (int64_t window_end = end; window_end > 0;) {
        const int64_t begin = std::max<int64_t>(0, window_end - kTailWindow);
        PageScan scan(source, begin, std::min(end, window_end + kLongestPage));
        Page last, p;
        while (scan.next(&p) && p.start < window_end) last = p;
        if (last.found) return last;
        window_end = begin;
    }
    return {};
}

// The last page of vorbisfile's first look: from 64 KiB before end.
Page last_page_in_tail(ByteSource &source, int64_t end) {
    PageScan scan(source, std::max<int64_t>(0, end - kTailWindow), end);
    Page last;
    for (Page p; scan.next(&p);) last = p;
    return last;
}

// The end of the first link's last page of its own streams, before a page
// that starts a new link.
int64_t first_link_end(ByteSource &source, const std::vector<long> &serials) {
    PageScan scan(source, 0, source.length());
    int64_t end = 0;
    bool past_first_pages = false;
    for (Page p; scan.next(&p);) {
        if (!p.bos) past_first_pages = true;
        else if (past_first_pages) break;
        if (listed(serials, p.serial)) end = p.end;
    }
    return end;
}

}  // namespace

int64_t ogg_first_link_length(ByteSource &source) {
    const int64_t total = source.length();
    const std::vector<long> serials = first_link_streams(source);
    if (serials.empty()) return total;
    const Page last = last_page(source, total);
    if (!last.found) return total;
    int64_t length = listed(serials, last.serial) ? last.end : first_link_end(source, serials);
    // vorbisfile reads the last page from 64 KiB before the end; pages laid
    // over one another (damage, or made so) can make it see another one
    // than the scans above. Stray pages are cut off until it sees one of
    // the first link.
    for (int tries = 0; tries < 64 && length > 0; ++tries) {
        const Page seen = last_page_in_tail(source, length);
        if (!seen.found) break;
        if (listed(serials, seen.serial)) return length;
        length = seen.start;
    }
    return -1;
}

bool ogg_first_packet_head(ByteSource &source, uint8_t *out, size_t n, size_t *got) {
    PageScan scan(source, 0, source.length());
    Page p;
    ogg_page page;
    if (!scan.next(&p, &page)) return false;
    *got = std::min(n, static_cast<size_t>(page.body_len));
    std::memcpy(out, page.body, *got);
    return true;
}

}  // namespace zyn
