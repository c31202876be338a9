#include "job/view_row_exchange.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "base/nameless_file.h"

namespace k3v {

ViewRowExchange::ViewRowExchange(const Plan& plan) : plan_(plan) {
    plan_.ringRows = std::max(plan_.ringRows, 2);
}

ViewRowExchange::~ViewRowExchange() {
    for (const int fd : aside_) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

Status ViewRowExchange::open(const std::string& folder, const std::string& output) {
    output_ = output;
    for (size_t v = 0; v < 2; ++v) {
        if (plan_.keep[v] == Keep::Ring) {
            try {
                held_[v].assign(size_t(plan_.ringRows), -1);
            } catch (const std::bad_alloc&) {
                return CannotWrite(output, "there is not enough memory");
            }
            if (!rings_[v].allocate(plan_.width, plan_.ringRows)) {
                return CannotWrite(output, "there is not enough memory");
            }
        } else if (plan_.keep[v] == Keep::Aside && plan_.asideInMemory) {
            if (!inMemory_[v].allocate(plan_.width, plan_.height)) {
                return CannotWrite(output, "there is not enough memory");
            }
        } else if (plan_.keep[v] == Keep::Aside) {
            aside_[v] = OpenNamelessFile(folder);
            if (aside_[v] < 0) {
                return CannotWrite(
                    output, std::string("no room for a view's rows: ") + std::strerror(errno));
            }
        }
    }
    return Status::Ok();
}

int64_t ViewRowExchange::sequenceOf(int32_t y) const {
    return plan_.made == RowOrder::BottomFirst ? y : int64_t(plan_.height) - 1 - y;
}

Status ViewRowExchange::putRow(size_t view, int32_t y, const uint32_t* pixels) {
    const size_t width = size_t(plan_.width);
    const int64_t sequence = sequenceOf(y);
    if (!inMemory_[view].empty()) {
        std::memcpy(inMemory_[view].data() + size_t(y) * width, pixels, width * sizeof(uint32_t));
    } else if (plan_.keep[view] == Keep::Aside) {
        if (!WriteAllAt(aside_[view], pixels, width * sizeof(uint32_t),
                        off_t(y) * off_t(width * sizeof(uint32_t)))) {
            return CannotWrite(output_, std::strerror(errno));
        }
    } else {
        const size_t slot = size_t(sequence % plan_.ringRows);
        {
            std::unique_lock lock(mutex_);
            freed_.wait(lock, [&] { return stopped_ || held_[view][slot] < 0; });
            if (stopped_) {
                return Status::Cancelled();
            }
        }
        // The slot is free: no taker reads it until the row is said to be made.
        std::memcpy(rings_[view].data() + slot * width, pixels, width * sizeof(uint32_t));
    }
    {
        const std::lock_guard lock(mutex_);
        if (stopped_) {
            return Status::Cancelled();
        }
        if (plan_.keep[view] == Keep::Ring) {
            held_[view][size_t(sequence % plan_.ringRows)] = sequence;
        }
        made_[view] = sequence + 1;
    }
    madeMore_.notify_all();
    return Status::Ok();
}

Status ViewRowExchange::put(const ViewRows& rows) {
    const bool topFirst = plan_.made == RowOrder::TopFirst;
    const size_t width = size_t(plan_.width);
    // Row by row, both views of a row before the next row, so that a taker that needs both
    // of a row's views (a side-by-side pair) always finds them.
    for (int32_t i = 0; i < rows.rowCount; ++i) {
        const int32_t at = topFirst ? rows.rowCount - 1 - i : i;
        const std::array<const uint32_t*, 2> views = {rows.firstView, rows.secondView};
        for (size_t v = 0; v < 2; ++v) {
            if (plan_.keep[v] == Keep::None) {
                continue;
            }
            if (Status put = putRow(v, rows.firstRow + at, views[v] + size_t(at) * width); !put) {
                return put;
            }
        }
    }
    return Status::Ok();
}

void ViewRowExchange::finish(const Status& made) {
    if (!made && !made.cancelled()) {  // a cancel comes from the taker, who knows why
        fail(made);
    }
}

void ViewRowExchange::fail(const Status& why) const {
    {
        const std::lock_guard lock(mutex_);
        if (!failed_.load()) {
            failure_ = why;
            failed_.store(true);
        }
    }
    madeMore_.notify_all();
}

Status ViewRowExchange::failure() const {
    const std::lock_guard lock(mutex_);
    return failure_;
}

void ViewRowExchange::take(ViewIndex view, int32_t y, int32_t x, int32_t count,
                           uint32_t* out) const {
    const size_t v = size_t(view);
    const size_t width = size_t(plan_.width);
    const int64_t sequence = sequenceOf(y);
    const size_t bytes = size_t(count) * sizeof(uint32_t);
    {
        std::unique_lock lock(mutex_);
        madeMore_.wait(lock, [&] { return failed_.load() || made_[v] > sequence; });
        if (failed_.load()) {
            std::memset(out, 0, bytes);
            return;
        }
    }
    if (!inMemory_[v].empty()) {
        std::memcpy(out, inMemory_[v].data() + size_t(y) * width + size_t(x), bytes);
        return;
    }
    if (plan_.keep[v] == Keep::Aside) {
        const off_t at = off_t(y) * off_t(width * sizeof(uint32_t)) + off_t(x) * 4;
        if (!ReadAllAt(aside_[v], out, bytes, at)) {
            fail(CannotWrite(output_, std::string("a view's rows could not be read back: ") +
                                          std::strerror(errno)));
            std::memset(out, 0, bytes);
        }
        return;
    }
    const size_t slot = size_t(sequence % plan_.ringRows);
    std::memcpy(out, rings_[v].data() + slot * width + size_t(x), bytes);
    {
        const std::lock_guard lock(mutex_);
        held_[v][slot] = -1;
    }
    freed_.notify_all();
}

void ViewRowExchange::stop() {
    {
        const std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    freed_.notify_all();
}

}  // namespace k3v
