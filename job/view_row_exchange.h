#pragma once
// The views' rows on their way from a conversion in bands (the maker, on a thread of its own)
// to the save that writes them (the taker, on one or more threads), with little held between
// them. A view the save reads in the order the rows are made passes through a ring of rows:
// the maker waits while the ring is full, the taker while its row is still to come. A view
// the save reads only later (the second file's, the lower half of a stacked pair) or in the
// other order (a conversion that must go from the bottom for a file written from the top)
// waits aside: in memory when it is small against the memory there is, else in a temporary
// file that has no name, so that nothing is left of it however the run ends.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "base/row_order.h"
#include "base/status.h"
#include "output/view_row_source.h"
#include "stereo/banded_conversion.h"
#include "stereo/pixel_plane.h"

namespace k3v {

class ViewRowExchange final : public ViewRowSource {
  public:
    enum class Keep { None, Ring, Aside };
    struct Plan {
        int32_t width = 0;
        int32_t height = 0;
        RowOrder made = RowOrder::TopFirst;  // the order the maker gives the rows in
        std::array<Keep, 2> keep{};          // by ViewIndex
        int32_t ringRows = 0;                // rows of each ring; at least 2
        bool asideInMemory = false;          // the views aside are held, not in files
    };

    explicit ViewRowExchange(const Plan& plan);
    ~ViewRowExchange() override;
    ViewRowExchange(const ViewRowExchange&) = delete;
    ViewRowExchange& operator=(const ViewRowExchange&) = delete;

    // Makes the rings, and the temporary files for the views kept aside: in `folder`, or else
    // in the system's temporary folder. A failure to write or read one later is worded for
    // `output`, the file the rows are saved to. Fails when no file or no memory can be had.
    Status open(const std::string& folder, const std::string& output);

    // The maker's side: the next band of both views, waiting while a ring is full. Fails with
    // Status::Cancelled() once the taker stopped, and with the reason when a row cannot be
    // put aside (a full disk).
    Status put(const ViewRows& rows);
    // The maker is done: `made` ok, or why it failed, which ends the taker's wait (rows not
    // made come as zeros then, and failed() is set).
    void finish(const Status& made);

    // The taker's side (ViewRowSource).
    void take(ViewIndex view, int32_t y, int32_t x, int32_t count, uint32_t* out) const override;
    // The taker is done, however its save ended: a maker still at work stops.
    void stop();

    // Set once the rows can no longer all come: the maker failed, or a row could not be read
    // back. failure() then says why.
    const std::atomic<bool>* failed() const { return &failed_; }
    Status failure() const;

  private:
    int64_t sequenceOf(int32_t y) const;
    Status putRow(size_t view, int32_t y, const uint32_t* pixels);
    void fail(const Status& why) const;

    Plan plan_;
    std::string output_;
    std::array<PixelPlane, 2> inMemory_;                // the views aside when held
    std::array<int, 2> aside_{-1, -1};                  // the temporary files, by view
    std::array<PixelPlane, 2> rings_;                   // ringRows rows each
    mutable std::array<std::vector<int64_t>, 2> held_;  // the row each ring slot holds; -1: free
    mutable std::array<int64_t, 2> made_{0, 0};         // rows made so far, by view
    mutable std::mutex mutex_;
    mutable std::condition_variable madeMore_;
    mutable std::condition_variable freed_;
    bool stopped_ = false;
    mutable std::atomic<bool> failed_{false};
    mutable Status failure_ = Status::Ok();
};

}  // namespace k3v
