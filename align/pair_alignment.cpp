#include "align/pair_alignment.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/imgproc.hpp>

#include "align/cubic_warp.h"
#include "base/thread_runner.h"

// Everything here works in the planes' own frame: row 0 is the picture's bottom row, so y
// grows upwards as on paper, a positive angle turns counterclockwise, and "up" is +y.
//
// The correction maps the second picture onto the first. Only its rows are measured: a point
// of the second picture must land on the row of its match in the first, while its column may
// differ by the depth. So the fit takes the second row of a homography (or of a similarity
// where the matches do not spread enough to carry a keystone), and the columns follow the same
// turn and scale, moved so that the median horizontal offset of the matches stays as it was.

namespace k3v {
namespace {

// Fewer inliers than this do not tell a correction from chance.
constexpr int32_t kLeastMatches = 30;
// Coarse matches that leave enough after refinement; fewer, and finer copies are searched.
constexpr int32_t kEnoughCoarseMatches = 4 * kLeastMatches;
// Features are found on a copy whose longer side is about this long; the matches are then
// refined on the full pictures.
constexpr int32_t kDetectionSide = 1200;
constexpr int32_t kFeatures = 2000;
// Half the side of the patches matched on the full pictures, and the correlation they need.
constexpr int32_t kPatchRadius = 12;
constexpr double kLeastCorrelation = 0.8;
// At most this many matches are refined, spread over a grid of the first picture.
constexpr int32_t kRefinedMatches = 300;
// The most RANSAC trials, for pairs with few inliers among their matches.
constexpr int kMostTrials = 500;
// A projective row needs matches in at least this fraction of the width and of the height.
constexpr double kKeystoneSpread = 0.45;
// The nearest point of the stereo window: this percentile of the horizontal offsets.
constexpr double kNearestPercentile = 0.02;
// Alignments that would keep less than this fraction of a side are refused.
constexpr double kLeastKept = 0.5;

struct Match {
    cv::Point2d first;
    cv::Point2d second;
    float distance = 0;
};

// Coordinates centred on the picture and scaled by half its longer side, so that the fit's
// unknowns have like sizes.
struct Frame {
    double cx = 0;
    double cy = 0;
    double n = 1;
    cv::Point2d to(cv::Point2d p) const { return {(p.x - cx) / n, (p.y - cy) / n}; }
};

// y1 = (a x2 + b y2 + t) / (g x2 + h y2 + 1), in the centred frame.
struct RowModel {
    double a = 0;
    double b = 1;
    double t = 0;
    double g = 0;
    double h = 0;
    bool projective = false;
    double y(cv::Point2d q) const { return (a * q.x + b * q.y + t) / (g * q.x + h * q.y + 1); }
};

// The model through the matches `chosen` (exact for the smallest sets, least squares above).
std::optional<RowModel> FitRow(const std::vector<Match>& matches, const std::vector<int>& chosen,
                               const Frame& frame, bool projective) {
    const int unknowns = projective ? 5 : 3;
    if (int(chosen.size()) < unknowns) {
        return std::nullopt;
    }
    cv::Mat a(int(chosen.size()), unknowns, CV_64F);
    cv::Mat rhs(int(chosen.size()), 1, CV_64F);
    for (int i = 0; i < int(chosen.size()); ++i) {
        const cv::Point2d p1 = frame.to(matches[chosen[i]].first);
        const cv::Point2d p2 = frame.to(matches[chosen[i]].second);
        double* row = a.ptr<double>(i);
        row[0] = p2.x;
        row[1] = p2.y;
        row[2] = 1;
        if (projective) {
            row[3] = -p2.x * p1.y;
            row[4] = -p2.y * p1.y;
        }
        rhs.at<double>(i) = p1.y;
    }
    cv::Mat x;
    if (!cv::solve(a, rhs, x, cv::DECOMP_SVD)) {
        return std::nullopt;
    }
    RowModel model;
    model.a = x.at<double>(0);
    model.b = x.at<double>(1);
    model.t = x.at<double>(2);
    model.projective = projective;
    if (projective) {
        model.g = x.at<double>(3);
        model.h = x.at<double>(4);
    }
    // A turn beyond some 30 degrees, a scale off by half or a strong keystone is no pair.
    const double scale = std::hypot(model.a, model.b);
    if (!std::isfinite(scale) || scale < 0.5 || scale > 2 || model.b < 0.85 * scale ||
        std::abs(model.g) > 0.2 || std::abs(model.h) > 0.2) {
        return std::nullopt;
    }
    return model;
}

// Vertical misalignment of each match under `model`, in pixels.
std::vector<double> RowErrors(const std::vector<Match>& matches, const RowModel& model,
                              const Frame& frame) {
    std::vector<double> errors(matches.size());
    for (size_t i = 0; i < matches.size(); ++i) {
        errors[i] =
            std::abs(model.y(frame.to(matches[i].second)) - frame.to(matches[i].first).y) * frame.n;
    }
    return errors;
}

std::vector<int> Within(const std::vector<double>& errors, double limit) {
    std::vector<int> kept;
    for (int i = 0; i < int(errors.size()); ++i) {
        if (errors[i] <= limit) {
            kept.push_back(i);
        }
    }
    return kept;
}

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) {
        return 0;
    }
    const size_t k =
        std::min(values.size() - 1, size_t(fraction * double(values.size() - 1) + 0.5));
    std::nth_element(values.begin(), values.begin() + ptrdiff_t(k), values.end());
    return values[k];
}

// Whether the matches spread far enough over the picture to carry a keystone.
bool SpreadForKeystone(const std::vector<Match>& matches, const std::vector<int>& chosen,
                       int32_t width, int32_t height) {
    if (int(chosen.size()) < 2 * kLeastMatches) {
        return false;
    }
    std::vector<double> xs;
    std::vector<double> ys;
    for (const int i : chosen) {
        xs.push_back(matches[i].first.x);
        ys.push_back(matches[i].first.y);
    }
    return Percentile(xs, 0.9) - Percentile(xs, 0.1) >= kKeystoneSpread * width &&
           Percentile(ys, 0.9) - Percentile(ys, 0.1) >= kKeystoneSpread * height;
}

// The projective row where it moves a corner of the picture by at least half a pixel more
// than the similarity does: a keystone the matches barely show is left out.
RowModel KeystoneIfItCounts(const RowModel& similarity, const std::optional<RowModel>& projective,
                            const Frame& frame, int32_t width, int32_t height) {
    if (!projective) {
        return similarity;
    }
    for (const cv::Point2d corner :
         {cv::Point2d(0, 0), cv::Point2d(width - 1, 0), cv::Point2d(0, height - 1),
          cv::Point2d(width - 1, height - 1)}) {
        const cv::Point2d q = frame.to(corner);
        if (std::abs(projective->y(q) - similarity.y(q)) * frame.n >= 0.5) {
            return *projective;
        }
    }
    return similarity;
}

struct RowFit {
    RowModel model;
    std::vector<int> inliers;
};

// A similarity row by RANSAC, then least squares on its inliers, repeated with a limit that
// follows the spread of the errors (depth may leave some vertical offset a row cannot remove).
// The row turns projective when `keystone` is allowed and the inliers spread enough.
std::optional<RowFit> RobustRow(const std::vector<Match>& matches, const Frame& frame, double limit,
                                bool keystone, int32_t width, int32_t height) {
    if (int(matches.size()) < 3) {
        return std::nullopt;
    }
    cv::RNG random(0x6b3376);
    std::vector<int> best;
    // Enough trials that a sample of inliers comes up with odds of 999 in 1000, at the share
    // of inliers found so far. Where a keystone may be corrected, projective samples are
    // tried too: a strong keystone leaves a similarity only the matches near the centre.
    const auto sampleRows = [&](bool projective) {
        const size_t size = projective ? 5 : 3;
        int trials = kMostTrials;
        for (int trial = 0; trial < trials; ++trial) {
            std::vector<int> sample;
            while (sample.size() < size) {
                const int i = random.uniform(0, int(matches.size()));
                if (std::find(sample.begin(), sample.end(), i) == sample.end()) {
                    sample.push_back(i);
                }
            }
            const std::optional<RowModel> model = FitRow(matches, sample, frame, projective);
            if (model) {
                std::vector<int> kept = Within(RowErrors(matches, *model, frame), limit);
                if (kept.size() > best.size()) {
                    best = std::move(kept);
                    const double share = double(best.size()) / double(matches.size());
                    const double miss = std::log(1 - std::pow(share, double(size)));
                    if (miss < 0) {
                        trials = std::min(kMostTrials, int(std::ceil(std::log(0.001) / miss)));
                    }
                }
            }
        }
    };
    sampleRows(false);
    if (keystone && int(matches.size()) >= 2 * kLeastMatches) {
        sampleRows(true);
    }
    std::optional<RowFit> fit;
    for (int round = 0; round < 4 && int(best.size()) >= 3; ++round) {
        std::optional<RowModel> model = FitRow(matches, best, frame, false);
        if (model && keystone && SpreadForKeystone(matches, best, width, height)) {
            model = KeystoneIfItCounts(*model, FitRow(matches, best, frame, true), frame, width,
                                       height);
        }
        if (!model) {
            break;
        }
        const std::vector<double> errors = RowErrors(matches, *model, frame);
        std::vector<double> inlierErrors;
        for (const int i : best) {
            inlierErrors.push_back(errors[i]);
        }
        // 1.4826 times the median absolute error estimates the standard deviation; the limit
        // follows three of them, but never beyond three times the one asked for.
        const double spread = 3 * 1.4826 * Percentile(inlierErrors, 0.5);
        fit = RowFit{*model, Within(errors, std::clamp(spread, limit, 3 * limit))};
        best = fit->inliers;
    }
    return fit;
}

// The grey of a BGRX patch, for matching.
cv::Mat Grey(const cv::Mat& bgrx) {
    cv::Mat grey;
    cv::cvtColor(bgrx, grey, cv::COLOR_BGRA2GRAY);
    return grey;
}

struct Pictures {
    cv::Mat first;  // BGRX, bottom-up, the planes' own memory
    cv::Mat second;
};

// The whole factor by which the pictures are reduced to about kDetectionSide (a whole factor
// takes OpenCV's fast path of area averaging).
int32_t DetectionFactor(cv::Size size) {
    return std::max(1, (std::max(size.width, size.height) + kDetectionSide / 2) / kDetectionSide);
}

// Matches of ORB features on grey copies reduced by `factor`, in full-size coordinates. The two
// pictures are reduced and searched side by side.
std::vector<Match> CoarseMatches(const Pictures& pictures, int32_t factor) {
    const cv::Size size = pictures.first.size();
    const cv::Size small(std::max(1, size.width / factor), std::max(1, size.height / factor));
    const cv::Rect whole(0, 0, small.width * factor, small.height * factor);
    std::array<std::vector<cv::KeyPoint>, 2> points;
    std::array<cv::Mat, 2> descriptors;
    RunOnThreads(ThreadsFor(size.area(), size_t(1) << 20) > 1 ? 2 : 1, [&](int thread) {
        const int from = thread == 0 ? 0 : 1;
        const int to = ThreadsFor(size.area(), size_t(1) << 20) > 1 ? from + 1 : 2;
        for (int i = from; i < to; ++i) {
            cv::Mat reduced;
            cv::resize(Grey((i == 0 ? pictures.first : pictures.second)(whole)), reduced, small, 0,
                       0, cv::INTER_AREA);
            // Three levels only: the pictures of a pair differ in scale by a few percent, and
            // keypoints of coarser levels would be too rough to refine. Patches of 19 rather
            // than 31 pixels find features nearer the edges, where the nearest points of a
            // scene (the ground at the bottom) often lie.
            cv::ORB::create(kFeatures, 1.2f, 3, 19, 0, 2, cv::ORB::HARRIS_SCORE, 19, 10)
                ->detectAndCompute(reduced, cv::noArray(), points[i], descriptors[i]);
        }
    });
    std::vector<Match> matches;
    if (descriptors[0].rows < 2 || descriptors[1].rows < 2) {
        return matches;
    }
    cv::BFMatcher matcher(cv::NORM_HAMMING);
    std::vector<std::vector<cv::DMatch>> pairs;
    matcher.knnMatch(descriptors[0], descriptors[1], pairs, 2);
    const auto full = [factor](cv::Point2f p) {
        return cv::Point2d((p.x + 0.5) * factor - 0.5, (p.y + 0.5) * factor - 0.5);
    };
    for (const std::vector<cv::DMatch>& pair : pairs) {
        // Lowe's ratio test: a match much better than the next best one.
        if (pair.size() == 2 && pair[0].distance < 0.8f * pair[1].distance) {
            matches.push_back({full(points[0][pair[0].queryIdx].pt),
                               full(points[1][pair[0].trainIdx].pt), pair[0].distance});
        }
    }
    return matches;
}

// The match's position in the second picture to a fraction of a pixel: the patch of the first
// picture around its point is sought in the second picture, turned and scaled by `model` about
// the coarse position so that the two patches look alike, and the correlation's peak is
// interpolated. Twice, the second time about the first answer, where the interpolation is
// least biased.
std::optional<Match> RefineMatch(const Pictures& pictures, const Match& coarse,
                                 const RowModel& model, int32_t search) {
    const int32_t r = kPatchRadius;
    const cv::Point center(int(std::lround(coarse.first.x)), int(std::lround(coarse.first.y)));
    const cv::Size size = pictures.first.size();
    const int32_t margin = r + search + 2;
    if (center.x < margin || center.y < margin || center.x >= size.width - margin ||
        center.y >= size.height - margin || coarse.second.x < margin || coarse.second.y < margin ||
        coarse.second.x >= size.width - margin || coarse.second.y >= size.height - margin) {
        return std::nullopt;
    }
    const cv::Mat patch =
        Grey(pictures.first(cv::Rect(center.x - r, center.y - r, 2 * r + 1, 2 * r + 1)));
    cv::Scalar mean;
    cv::Scalar deviation;
    cv::meanStdDev(patch, mean, deviation);
    if (deviation[0] < 2) {
        return std::nullopt;
    }
    // From the first picture's frame to the second's: the inverse of the row's turn and scale.
    const double s2 = model.a * model.a + model.b * model.b;
    const cv::Matx22d back(model.b / s2, model.a / s2, -model.a / s2, model.b / s2);
    cv::Point2d second = coarse.second;
    cv::Point2d origin = coarse.first;  // the first-picture point that `second` matches
    double score = 0;
    for (const int32_t reach : {search, 2}) {
        const int32_t side = 2 * (r + reach) + 1;
        const cv::Point2d corner(center.x - r - reach, center.y - r - reach);
        const cv::Point2d start = second + cv::Point2d(back * (corner - origin));
        const cv::Matx23d map(back(0, 0), back(0, 1), start.x, back(1, 0), back(1, 1), start.y);
        cv::Mat window;
        cv::warpAffine(pictures.second, window, map, cv::Size(side, side),
                       cv::INTER_CUBIC | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
        cv::Mat correlation;
        cv::matchTemplate(Grey(window), patch, correlation, cv::TM_CCOEFF_NORMED);
        cv::Point peak;
        cv::minMaxLoc(correlation, nullptr, &score, nullptr, &peak);
        if (peak.x == 0 || peak.y == 0 || peak.x == correlation.cols - 1 ||
            peak.y == correlation.rows - 1) {
            return std::nullopt;
        }
        const auto vertex = [](float before, float at, float after) {
            const double curve = double(before) - 2.0 * at + after;
            return curve < 0 ? std::clamp(0.5 * (before - after) / curve, -0.5, 0.5) : 0.0;
        };
        const cv::Point2d offset(peak.x - reach +
                                     vertex(correlation.at<float>(peak.y, peak.x - 1),
                                            correlation.at<float>(peak.y, peak.x),
                                            correlation.at<float>(peak.y, peak.x + 1)),
                                 peak.y - reach +
                                     vertex(correlation.at<float>(peak.y - 1, peak.x),
                                            correlation.at<float>(peak.y, peak.x),
                                            correlation.at<float>(peak.y + 1, peak.x)));
        // The first picture's centre pixel looks like the window at `found` of the first
        // picture's frame, which is this point of the second picture.
        const cv::Point2d found = cv::Point2d(center) + offset;
        second += cv::Point2d(back * (found - origin));
        origin = cv::Point2d(center);
    }
    if (score < kLeastCorrelation) {
        return std::nullopt;
    }
    return Match{cv::Point2d(center), second, coarse.distance};
}

// Up to kRefinedMatches of `chosen`, the best of each cell of a grid over the first picture,
// refined.
std::vector<Match> RefinedMatches(const Pictures& pictures, const std::vector<Match>& matches,
                                  const std::vector<int>& chosen, const RowModel& model,
                                  int32_t search, const Progress& progress) {
    const cv::Size size = pictures.first.size();
    const double cell = std::sqrt(double(size.area()) / kRefinedMatches);
    const int columns = std::max(1, int(size.width / cell));
    const int rows = std::max(1, int(size.height / cell));
    std::vector<int> best(size_t(columns) * size_t(rows), -1);
    for (const int i : chosen) {
        const int cx = std::clamp(int(matches[i].first.x * columns / size.width), 0, columns - 1);
        const int cy = std::clamp(int(matches[i].first.y * rows / size.height), 0, rows - 1);
        int& slot = best[size_t(cy) * size_t(columns) + size_t(cx)];
        if (slot < 0 || matches[i].distance < matches[slot].distance) {
            slot = i;
        }
    }
    // Each cell's answer in its own slot, so that the order does not depend on the threads.
    std::vector<std::optional<Match>> answers(best.size());
    std::atomic<size_t> done{0};
    ParallelRanges(best.size(), ThreadsFor(best.size(), 32), [&](size_t begin, size_t end) {
        for (size_t k = begin; k < end; ++k) {
            if (best[k] >= 0) {
                answers[k] = RefineMatch(pictures, matches[best[k]], model, search);
            }
            if (const size_t finished = ++done; finished % 64 == 0) {
                progress.report(finished, best.size());
            }
        }
    });
    std::vector<Match> refined;
    for (const std::optional<Match>& answer : answers) {
        if (answer) {
            refined.push_back(*answer);
        }
    }
    return refined;
}

// The correction as a pixel homography from the second picture to the first, its columns
// following the row's turn and scale, moved by `shift` (centred frame) plus `window` pixels.
cv::Matx33d Correction(const RowModel& m, double shift, const Frame& f, double window) {
    const cv::Matx33d centred(m.b, -m.a, shift, m.a, m.b, m.t, m.g, m.h, 1);
    const cv::Matx33d into(1 / f.n, 0, -f.cx / f.n, 0, 1 / f.n, -f.cy / f.n, 0, 0, 1);
    const cv::Matx33d outOf(f.n, 0, f.cx + window, 0, f.n, f.cy, 0, 0, 1);
    return outOf * centred * into;
}

cv::Point2d Apply(const cv::Matx33d& h, cv::Point2d p) {
    const cv::Vec3d q = h * cv::Vec3d(p.x, p.y, 1);
    return {q[0] / q[2], q[1] / q[2]};
}

// The column shift (centred frame) that keeps the median horizontal offset of the inliers.
double KeptDepthShift(const std::vector<Match>& matches, const std::vector<int>& inliers,
                      const RowModel& m, const Frame& f) {
    std::vector<double> shifts;
    for (const int i : inliers) {
        const cv::Point2d q = f.to(matches[i].second);
        shifts.push_back(q.x * (m.g * q.x + m.h * q.y + 1) - (m.b * q.x - m.a * q.y));
    }
    return Percentile(shifts, 0.5);
}

// The largest rectangle of whole pixels whose every pixel centre `toSecond` maps into the
// second picture (and which lies in the first). The region is convex, so each row's pixels
// that qualify form one run; the best rectangle is sought over all pairs of bottom and top rows.
std::optional<cv::Rect> LargestFilledRectangle(const cv::Matx33d& toSecond, cv::Size size) {
    const double lastX = size.width - 1;
    const double lastY = size.height - 1;
    std::vector<int> left(size_t(size.height));
    std::vector<int> right(size_t(size.height));
    for (int y = 0; y < size.height; ++y) {
        // Along the row, u = (A x + B) / (C x + D) and v = (E x + F) / (C x + D).
        const double a = toSecond(0, 0), b = toSecond(0, 1) * y + toSecond(0, 2);
        const double e = toSecond(1, 0), f = toSecond(1, 1) * y + toSecond(1, 2);
        const double c = toSecond(2, 0), d = toSecond(2, 1) * y + toSecond(2, 2);
        double lo = 0;
        double hi = lastX;
        // alpha x + beta >= 0 for each bound, the denominator being positive.
        const std::array<std::pair<double, double>, 5> bounds{{{a, b},
                                                               {lastX * c - a, lastX * d - b},
                                                               {e, f},
                                                               {lastY * c - e, lastY * d - f},
                                                               {c, d}}};
        for (const auto& [alpha, beta] : bounds) {
            if (std::abs(alpha) < 1e-12) {
                if (beta < 0) {
                    hi = -1;
                }
            } else if (alpha > 0) {
                lo = std::max(lo, -beta / alpha);
            } else {
                hi = std::min(hi, -beta / alpha);
            }
        }
        left[size_t(y)] = int(std::ceil(lo - 1e-6));
        right[size_t(y)] = int(std::floor(hi + 1e-6));
    }
    std::optional<cv::Rect> best;
    int64_t bestArea = 0;
    for (int bottom = 0; bottom < size.height; ++bottom) {
        int lo = left[size_t(bottom)];
        int hi = right[size_t(bottom)];
        for (int top = bottom; top < size.height && lo <= hi; ++top) {
            lo = std::max(lo, left[size_t(top)]);
            hi = std::min(hi, right[size_t(top)]);
            const int64_t area = int64_t(hi - lo + 1) * (top - bottom + 1);
            if (hi >= lo && area > bestArea) {
                bestArea = area;
                best = cv::Rect(lo, bottom, hi - lo + 1, top - bottom + 1);
            }
        }
    }
    return best;
}

Status TooFew(size_t found) {
    return Status::Error("cannot align: " + std::to_string(found) + " matching points, at least " +
                         std::to_string(kLeastMatches) + " needed");
}

std::string OneDecimal(double value) {
    char text[32];
    // Rounded first, so that a value just below zero prints as 0.0 rather than -0.0.
    const double rounded = std::round(value * 10) / 10;
    std::snprintf(text, sizeof text, "%.1f", rounded == 0 ? 0.0 : rounded);
    return text;
}

}  // namespace

std::string AlignmentOutcome::describe() const {
    if (width <= 0 || height <= 0) {
        return "";
    }
    std::string text;
    if (aligned) {
        const long moved = std::lround(movedPixels);
        text = "aligned: turned " + OneDecimal(turnedDegrees) + " deg, scaled " +
               OneDecimal(scaledPercent) + " %, moved " + std::to_string(std::abs(moved)) + " px " +
               (moved < 0 ? "down" : "up");
        if (windowShift != 0) {
            text += ", window " + std::to_string(windowShift) + " px";
        }
    } else {
        text = "stereo window: shifted " + std::to_string(windowShift) + " px";
    }
    return text + "; cropped to " + std::to_string(width) + " x " + std::to_string(height);
}

Result<PairCorrection> FindPairCorrection(const PixelPlane& first, const PixelPlane& second,
                                          const AlignmentRequest& request,
                                          const Progress& progress) {
    PairCorrection found;
    AlignmentOutcome& outcome = found.outcome;
    outcome.width = first.width();
    outcome.height = first.height();
    if (!request.any()) {
        return found;
    }
    if (first.empty() || second.empty() || first.width() != second.width() ||
        first.height() != second.height()) {
        return Status::Error("cannot align: the two pictures differ in size");
    }
    const cv::Size size(first.width(), first.height());
    // OpenCV only reads the planes' memory through these.
    const Pictures pictures{cv::Mat(size, CV_8UC4, const_cast<uint32_t*>(first.data())),
                            cv::Mat(size, CV_8UC4, const_cast<uint32_t*>(second.data()))};
    const Frame frame{(size.width - 1) / 2.0, (size.height - 1) / 2.0,
                      std::max(size.width, size.height) / 2.0};
    // Pictures whose detail is finer than the reduced copies keep (haze, water, foliage far
    // off) may match too little there: they are searched again at twice the detail, down to
    // full size, before the pair is refused. Refinement drops some, so a margin is asked for.
    int32_t factor = DetectionFactor(size);
    std::vector<Match> coarse;
    std::optional<RowFit> rough;
    for (;;) {
        coarse = CoarseMatches(pictures, factor);
        if (progress.cancelled()) {
            return Status::Cancelled();
        }
        rough = RobustRow(coarse, frame, std::max(2.0, 1.5 * factor), request.align, size.width,
                          size.height);
        if ((rough && int(rough->inliers.size()) >= kEnoughCoarseMatches) || factor == 1) {
            break;
        }
        factor = std::max(1, factor / 2);
    }
    progress.report(0.3);
    if (!rough || int(rough->inliers.size()) < kLeastMatches) {
        return TooFew(rough ? rough->inliers.size() : 0);
    }
    const std::vector<Match> refined = RefinedMatches(
        pictures, coarse, rough->inliers, rough->model, 2 * factor + 2, progress.part(0.3, 0.5));
    if (progress.cancelled()) {
        return Status::Cancelled();
    }
    const std::optional<RowFit> fit =
        RobustRow(refined, frame, 1.0, request.align, size.width, size.height);
    if (!fit || int(fit->inliers.size()) < kLeastMatches) {
        return TooFew(fit ? fit->inliers.size() : 0);
    }
    outcome.matches = int32_t(fit->inliers.size());

    // The correction (identity when only the window is asked for), then the window's shift:
    // the nearest point's offset, first minus second, becomes windowBehind. With the eyes
    // swapped the first picture is the left eye, so the nearest point has the largest offset,
    // and its offset becomes minus windowBehind.
    const RowModel model = request.align ? fit->model : RowModel{};
    const double keep = request.align ? KeptDepthShift(refined, fit->inliers, model, frame) : 0;
    cv::Matx33d correction = Correction(model, keep, frame, 0);
    if (request.stereoWindow) {
        std::vector<double> offsets;
        for (const int i : fit->inliers) {
            offsets.push_back(refined[i].first.x - Apply(correction, refined[i].second).x);
        }
        outcome.windowShift = int32_t(std::lround(
            request.swapEyes ? Percentile(offsets, 1 - kNearestPercentile) + request.windowBehind
                             : Percentile(offsets, kNearestPercentile) - request.windowBehind));
        correction = Correction(model, keep, frame, outcome.windowShift);
    }
    const std::optional<cv::Rect> crop = LargestFilledRectangle(correction.inv(), size);
    if (!crop || crop->width < kLeastKept * size.width || crop->height < kLeastKept * size.height) {
        return Status::Error("cannot align: the corrected pictures overlap too little");
    }
    outcome.width = crop->width;
    outcome.height = crop->height;
    if (request.align) {
        outcome.aligned = true;
        const double scale = std::hypot(model.a, model.b);
        outcome.turnedDegrees = std::atan2(model.a, model.b) * 180 / CV_PI;
        outcome.scaledPercent = (scale - 1) * 100;
        outcome.movedPixels = model.t * frame.n;
        outcome.keystone = model.projective;
    }
    found.firstX = crop->x;
    found.firstY = crop->y;
    // The window alone moves whole columns: the second picture is cropped, not resampled.
    found.secondX = crop->x - outcome.windowShift;
    found.secondY = crop->y;
    if (request.align) {
        const cv::Matx33d toSecond =
            correction.inv() * cv::Matx33d(1, 0, crop->x, 0, 1, crop->y, 0, 0, 1);
        std::copy(toSecond.val, toSecond.val + 9, found.toSecond.begin());
    }
    progress.report(1.0);
    if (progress.cancelled()) {
        return Status::Cancelled();
    }
    return found;
}

void SecondViewRows(const PixelPlane& second, const PairCorrection& correction, int32_t from,
                    int32_t to, uint32_t* out) {
    const int32_t width = correction.outcome.width;
    if (correction.outcome.aligned) {
        WarpCubicRows(second, correction.toSecond, width, from, to, out);
        return;
    }
    for (int32_t y = from; y < to; ++y, out += width) {
        const uint32_t* row = second.row(correction.secondY + y) + correction.secondX;
        std::copy(row, row + width, out);
    }
}

Result<AlignmentOutcome> AlignPair(PixelPlane& first, PixelPlane& second,
                                   const AlignmentRequest& request, const Progress& progress) {
    Result<PairCorrection> found =
        FindPairCorrection(first, second, request, progress.part(0.0, 0.5));
    if (!found) {
        return found.status();
    }
    const PairCorrection& c = found.value();
    const AlignmentOutcome& outcome = c.outcome;
    if (!request.any()) {
        return outcome;
    }
    if (!outcome.aligned) {
        first.cropTo(c.firstX, c.firstY, outcome.width, outcome.height);
        second.cropTo(c.secondX, c.secondY, outcome.width, outcome.height);
    } else {
        PixelPlane corrected;
        if (Status status = corrected.allocate(outcome.width, outcome.height); !status) {
            return status;
        }
        if (!WarpCubic(second, c.toSecond, corrected, progress.part(0.5, 1))) {
            return Status::Cancelled();
        }
        first.cropTo(c.firstX, c.firstY, outcome.width, outcome.height);
        second = std::move(corrected);
    }
    progress.report(1.0);
    return outcome;
}

}  // namespace k3v
