#pragma once
// Several filters over one picture in a single sweep: the picture is cut into bands of rows,
// and each stage handles a band as soon as the stage before it is far enough ahead. The rows
// in flight stay in the processor's caches, so the picture crosses the memory bus once rather
// than once per stage, and the bands of different stages run on different cores at the same
// time. Stages that must run in row order (a pass that reads its own new values) still can:
// each stage does its bands in order.

#include <cstddef>
#include <functional>
#include <vector>

#include "base/progress.h"

namespace k3v {

struct RowStage {
    // Rows the previous stage must have finished beyond a band's last row before this stage
    // may start the band (for a stage that reads two rows above the band, 2).
    size_t lead = 0;
    // Handles rows [firstRow, endRow) on the worker `thread` (0 .. threads-1), so a stage can
    // keep scratch memory per worker.
    std::function<void(size_t firstRow, size_t endRow, int thread)> run;
    // The name progress is reported under (progress.h) while this is the first stage with
    // bands still to do; none: the pipeline's own.
    const char* name = nullptr;
};

// Runs every stage over rows [0, rows) in bands of `bandRows`: stage s does rows [a, b) after
// it has done every row before a, and after stage s - 1 has done every row before
// min(b + lead, rows). `threads` workers share the bands.
//
// The share of all bands done goes to `progress` as bands finish (in at most a few hundred
// reports), under the name of the first stage with bands still to do. Once `progress` is cancelled
// no further band runs and false is returned; the workers still pass every band in its turn, so
// none is left waiting for a band that never comes.
bool RunRowPipeline(size_t rows, size_t bandRows, const std::vector<RowStage>& stages, int threads,
                    const Progress& progress = Progress());

// The same with stage s doing rows [0, rows[s]) of its own (a stage may trail the one before
// it, which then has more rows to do): a stage's band waits for the stage before to have done
// `lead` rows past it, or all its rows.
bool RunRowPipeline(const std::vector<size_t>& rows, size_t bandRows,
                    const std::vector<RowStage>& stages, int threads,
                    const Progress& progress = Progress());

}  // namespace k3v
