// Circle-grid detection: dark circles, lattice growth, ordering.
#include "tools/circle_grid.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <queue>

namespace vyxsim::tools {

namespace {

double Cross(const Eigen::Vector2d& a, const Eigen::Vector2d& b) { return a.x() * b.y() - a.y() * b.x(); }

struct Node {
    int i = 0, j = 0;             // lattice coordinates
    Eigen::Vector2d e1, e2;       // local lattice steps
};

}  // namespace

std::vector<Ellipse> FindDarkCircles(const Grey& grey) {
    std::vector<Ellipse> out;
    if (grey.width < 8 || grey.height < 8) return out;
    const std::vector<uint8_t> cls = Binarise(grey, DefaultHalfWindow(grey.width, grey.height));
    const std::vector<Blob> blobs = FindBlobs(cls, grey.width, grey.height);
    const int64_t max_area = static_cast<int64_t>(grey.Size() / 100);
    for (const Blob& b : blobs) {
        if (b.cls != kDark || b.touches_border || b.area < 10 || b.area > max_area) continue;
        const double ell = b.Ellipticity();
        if (ell < 0.8 || ell > 1.15) continue;
        const Ellipse m = EllipseFromMoments(b.Centroid(), b.Covariance());
        if (m.AxisRatio() > 6.0) continue;
        Ellipse refined;
        if (!RefineOutline(grey, m, false, 1.8, &refined)) continue;
        if (refined.AxisRatio() > 6.0) continue;
        out.push_back(refined);
    }
    return out;
}

bool FindCircleGrid(const Grey& grey, int cols, int rows, CircleGrid* out, std::string* why) {
    const std::vector<Ellipse> circles = FindDarkCircles(grey);
    const std::size_t n = circles.size();
    auto fail = [&](const std::string& reason) {
        if (why) *why = reason;
        return false;
    };
    if (n < 9) return fail("found " + std::to_string(n) + " dark circles, too few for a circle grid");

    // Nearest neighbours of similar size.
    const std::size_t k_near = std::min<std::size_t>(8, n - 1);
    std::vector<std::vector<std::size_t>> near(n);
    for (std::size_t a = 0; a < n; ++a) {
        std::vector<std::pair<double, std::size_t>> d;
        const double ra = circles[a].MeanRadius();
        for (std::size_t b = 0; b < n; ++b) {
            if (b == a) continue;
            const double ratio = circles[b].MeanRadius() / ra;
            if (ratio < 0.6 || ratio > 1.0 / 0.6) continue;
            d.emplace_back((circles[b].centre - circles[a].centre).squaredNorm(), b);
        }
        const std::size_t k = std::min(k_near, d.size());
        std::partial_sort(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(k), d.end());
        for (std::size_t i = 0; i < k; ++i) near[a].push_back(d[i].second);
    }
    // Lattice steps at a circle: two pairs of nearly opposite neighbours
    // among its four nearest, in clearly different directions.
    auto basis_at = [&](std::size_t a, Eigen::Vector2d* e1, Eigen::Vector2d* e2) {
        const std::size_t m = std::min<std::size_t>(4, near[a].size());
        std::vector<Eigen::Vector2d> dirs;
        for (std::size_t p = 0; p < m; ++p) {
            for (std::size_t q = p + 1; q < m; ++q) {
                const Eigen::Vector2d u = circles[near[a][p]].centre - circles[a].centre;
                const Eigen::Vector2d v = circles[near[a][q]].centre - circles[a].centre;
                const double lu = u.norm(), lv = v.norm();
                if (lu / lv > 1.4 || lv / lu > 1.4) continue;
                if ((u + v).norm() < 0.2 * std::max(lu, lv)) dirs.push_back(0.5 * (u - v));
            }
        }
        for (std::size_t p = 0; p < dirs.size(); ++p) {
            for (std::size_t q = p + 1; q < dirs.size(); ++q) {
                if (std::abs(Cross(dirs[p], dirs[q])) > 0.5 * dirs[p].norm() * dirs[q].norm()) {
                    *e1 = dirs[p];
                    *e2 = dirs[q];
                    return true;
                }
            }
        }
        return false;
    };
    auto nearest_to = [&](std::size_t from, const Eigen::Vector2d& target, double tol) -> long {
        long best = -1;
        double best_d = tol;
        for (std::size_t b : near[from]) {
            const double d = (circles[b].centre - target).norm();
            if (d < best_d) {
                best_d = d;
                best = static_cast<long>(b);
            }
        }
        return best;
    };

    // Grow a lattice from every unclaimed seed; keep the largest.
    std::vector<int> claimed(n, -1);
    std::map<std::pair<int, int>, std::size_t> best_cells;
    int component = 0;
    for (std::size_t seed = 0; seed < n; ++seed) {
        if (claimed[seed] >= 0) continue;
        Node start;
        if (!basis_at(seed, &start.e1, &start.e2)) continue;
        std::map<std::pair<int, int>, std::size_t> cells;
        std::map<std::size_t, Node> nodes;
        std::queue<std::size_t> queue;
        nodes[seed] = start;
        cells[{0, 0}] = seed;
        queue.push(seed);
        while (!queue.empty()) {
            const std::size_t a = queue.front();
            queue.pop();
            const Node node = nodes[a];
            const int di[4] = {1, -1, 0, 0}, dj[4] = {0, 0, 1, -1};
            for (int s = 0; s < 4; ++s) {
                const Eigen::Vector2d step = di[s] * node.e1 + dj[s] * node.e2;
                const double tol = 0.3 * std::min(node.e1.norm(), node.e2.norm());
                const long b = nearest_to(a, circles[a].centre + step, tol);
                if (b < 0) continue;
                const std::pair<int, int> cell{node.i + di[s], node.j + dj[s]};
                const auto bu = static_cast<std::size_t>(b);
                if (nodes.count(bu) || cells.count(cell)) continue;
                Node next = node;
                next.i = cell.first;
                next.j = cell.second;
                const Eigen::Vector2d actual = circles[bu].centre - circles[a].centre;
                if (di[s] != 0) next.e1 = di[s] * actual;
                if (dj[s] != 0) next.e2 = dj[s] * actual;
                nodes[bu] = next;
                cells[cell] = bu;
                queue.push(bu);
            }
        }
        for (const auto& kv : nodes) claimed[kv.first] = component;
        ++component;
        if (cells.size() > best_cells.size()) best_cells = cells;
    }
    if (best_cells.size() < 4) return fail("found no lattice among the " + std::to_string(n) + " dark circles");

    int i0 = 1 << 30, i1 = -(1 << 30), j0 = 1 << 30, j1 = -(1 << 30);
    for (const auto& kv : best_cells) {
        i0 = std::min(i0, kv.first.first);
        i1 = std::max(i1, kv.first.first);
        j0 = std::min(j0, kv.first.second);
        j1 = std::max(j1, kv.first.second);
    }
    const int ni = i1 - i0 + 1, nj = j1 - j0 + 1;
    const std::string found = std::to_string(best_cells.size()) + " circles spanning " + std::to_string(ni) +
                              " x " + std::to_string(nj);
    if (static_cast<std::size_t>(ni) * static_cast<std::size_t>(nj) != best_cells.size()) {
        return fail("the largest circle lattice is incomplete (" + found + ")");
    }
    // Mean steps along the two lattice axes.
    Eigen::Vector2d a1 = Eigen::Vector2d::Zero(), a2 = Eigen::Vector2d::Zero();
    for (const auto& kv : best_cells) {
        auto it = best_cells.find({kv.first.first + 1, kv.first.second});
        if (it != best_cells.end()) a1 += circles[it->second].centre - circles[kv.second].centre;
        it = best_cells.find({kv.first.first, kv.first.second + 1});
        if (it != best_cells.end()) a2 += circles[it->second].centre - circles[kv.second].centre;
    }
    // Which lattice axis holds the columns.
    bool axis1_is_columns;
    if (cols > 0 && rows > 0) {
        if (cols != rows && ni == cols && nj == rows) {
            axis1_is_columns = true;
        } else if (cols != rows && ni == rows && nj == cols) {
            axis1_is_columns = false;
        } else if (cols == rows && ni == cols && nj == rows) {
            axis1_is_columns = std::abs(a1.x()) >= std::abs(a2.x());
        } else {
            return fail("expected a grid of " + std::to_string(cols) + " x " + std::to_string(rows) +
                        " circles, found " + found);
        }
    } else {
        if (ni < 3 || nj < 3) return fail("the largest circle lattice is too small (" + found + ")");
        axis1_is_columns = std::abs(a1.x()) >= std::abs(a2.x());
    }
    Eigen::Vector2d col_axis = axis1_is_columns ? a1 : a2, row_axis = axis1_is_columns ? a2 : a1;
    // Column axis to the right (or down when vertical); rows then follow the
    // image's sense of rotation.
    int col_sign = (col_axis.x() > 1e-9 * col_axis.norm() ||
                    (std::abs(col_axis.x()) <= 1e-9 * col_axis.norm() && col_axis.y() > 0.0))
                       ? 1
                       : -1;
    col_axis *= col_sign;
    const int row_sign = Cross(col_axis, row_axis) > 0.0 ? 1 : -1;
    CircleGrid g;
    g.cols = axis1_is_columns ? ni : nj;
    g.rows = axis1_is_columns ? nj : ni;
    g.centres.resize(static_cast<std::size_t>(g.cols) * static_cast<std::size_t>(g.rows));
    g.radii.resize(g.centres.size());
    for (const auto& kv : best_cells) {
        const int li = kv.first.first - i0, lj = kv.first.second - j0;
        int c = axis1_is_columns ? li : lj;
        int r = axis1_is_columns ? lj : li;
        if (col_sign < 0) c = g.cols - 1 - c;
        if (row_sign < 0) r = g.rows - 1 - r;
        const std::size_t k = static_cast<std::size_t>(r) * static_cast<std::size_t>(g.cols) + static_cast<std::size_t>(c);
        g.centres[k] = circles[kv.second].centre;
        g.radii[k] = circles[kv.second].MeanRadius();
    }
    *out = std::move(g);
    return true;
}

}  // namespace vyxsim::tools
