#include "planner/best_flow.hpp"

#include <algorithm>
#include <limits>
#include <queue>
#include <utility>

namespace lessoncover {

void LexFlow::reset(std::size_t nodes) {
    nodes_ = nodes;
    to_.clear();
    from_.clear();
    residual_.clear();
    cost_.clear();
    total_flow_ = 0;
}

void LexFlow::reserve(std::size_t arcs) {
    to_.reserve(2 * arcs);
    from_.reserve(2 * arcs);
    residual_.reserve(2 * arcs);
    cost_.reserve(2 * arcs);
}

LexFlow::Arc LexFlow::add_arc(Node from, Node to, std::int32_t capacity, const LexCost& cost) {
    const auto arc = static_cast<Arc>(to_.size());
    to_.push_back(to);
    to_.push_back(from);
    from_.push_back(from);
    from_.push_back(to);
    residual_.push_back(capacity);
    residual_.push_back(0);
    cost_.push_back(cost);
    cost_.push_back(-cost);
    return arc;
}

LexCost LexFlow::total_cost() const noexcept {
    LexCost total;
    for (std::size_t arc = 0; arc < to_.size(); arc += 2) {
        const std::int32_t sent = residual_[arc + 1];
        for (std::size_t i = 0; i < kCostLevels; ++i) total.level[i] += cost_[arc].level[i] * sent;
    }
    return total;
}

// Arcs by the node they leave, in the order added: a counting sort.
void LexFlow::index_arcs() {
    starts_.assign(nodes_ + 1, 0);
    for (const Node from : from_) ++starts_[from + 1];
    for (std::size_t node = 0; node < nodes_; ++node) starts_[node + 1] += starts_[node];
    order_.resize(to_.size());
    std::vector<std::uint32_t> next(starts_.begin(), starts_.end() - 1);
    for (std::size_t arc = 0; arc < to_.size(); ++arc) order_[next[from_[arc]]++] = static_cast<Arc>(arc);
}

bool LexFlow::solve(Node source, Node sink, InterruptionCheck& check) {
    index_arcs();
    // All the flow the source can send: once it is sent, no path is left to look for.
    std::int64_t most = 0;
    for (std::uint32_t at = starts_[source]; at < starts_[source + 1]; ++at) most += residual_[order_[at]];
    // Every cost given is at least zero, so zero potentials start the reduced costs right.
    potential_.assign(nodes_, LexCost{});
    total_flow_ = 0;
    while (total_flow_ < most && shortest_paths(source, sink, check)) {
        if (check.stopped()) return false;
        mark_admissible();
        for (;;) {
            // Levels of the arcs of zero reduced cost, by hops from the source.
            depth_.assign(nodes_, -1);
            queue_.assign(1, source);
            depth_[source] = 0;
            for (std::size_t at = 0; at < queue_.size() && depth_[sink] < 0; ++at) {
                const Node node = queue_[at];
                for (std::uint32_t i = starts_[node]; i < starts_[node + 1]; ++i) {
                    const Arc arc = order_[i];
                    const Node to = to_[arc];
                    if (depth_[to] < 0 && residual_[arc] > 0 && zero_cost_[arc]) {
                        depth_[to] = depth_[node] + 1;
                        queue_.push_back(to);
                    }
                }
            }
            if (depth_[sink] < 0) break;
            const std::int64_t sent = blocking_flow(source, sink);
            if (sent == 0) break;
            total_flow_ += sent;
            if (check.step(static_cast<std::int64_t>(queue_.size()))) return false;
        }
    }
    return !check.stopped();
}

// Which arcs cost nothing on the potentials of this round: the only ones a round's paths
// take. Pushing flow keeps them so (an arc and its reverse both cost zero).
void LexFlow::mark_admissible() {
    zero_cost_.resize(to_.size());
    for (std::size_t arc = 0; arc < to_.size(); ++arc) {
        // An arc without room gets some only as the reverse of one that flow takes, which
        // costs zero too: blocking_flow() marks it then.
        zero_cost_[arc] = residual_[arc] > 0 && potential_[to_[arc]] - potential_[from_[arc]] == cost_[arc] ? 1 : 0;
    }
}

// Dijkstra on reduced costs, then each node's potential moves by its distance, capped at
// the sink's: arcs with room keep a reduced cost of at least zero, and those on shortest
// paths to the sink get zero. False when the sink cannot be reached.
bool LexFlow::shortest_paths(Node source, Node sink, InterruptionCheck& check) {
    distance_.assign(nodes_, LexCost{});
    done_.assign(nodes_, 0);
    depth_.assign(nodes_, 0);  // here: whether a distance was found
    using Entry = std::pair<LexCost, Node>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> queue;
    queue.emplace(LexCost{}, source);
    depth_[source] = 1;
    std::size_t settled = 0;
    while (!queue.empty()) {
        const auto [distance, node] = queue.top();
        queue.pop();
        if (done_[node]) continue;
        done_[node] = 1;
        ++settled;
        if (node == sink) break;
        const LexCost from_here = distance + potential_[node];
        for (std::uint32_t i = starts_[node]; i < starts_[node + 1]; ++i) {
            const Arc arc = order_[i];
            const Node to = to_[arc];
            if (residual_[arc] <= 0 || done_[to]) continue;
            const LexCost reached = from_here + cost_[arc] - potential_[to];
            if (!depth_[to] || reached < distance_[to]) {
                depth_[to] = 1;
                distance_[to] = reached;
                queue.emplace(reached, to);
            }
        }
    }
    check.step(static_cast<std::int64_t>(settled));
    if (!done_[sink]) return false;
    const LexCost to_sink = distance_[sink];
    for (std::size_t node = 0; node < nodes_; ++node) {
        potential_[node] = potential_[node] + (done_[node] ? distance_[node] : to_sink);
    }
    return true;
}

// Paths of zero reduced cost that climb one level an arc, until none is left; each path
// found first in arc order.
std::int64_t LexFlow::blocking_flow(Node source, Node sink) {
    next_arc_.assign(starts_.begin(), starts_.end() - 1);
    std::vector<Arc> path;
    std::int64_t sent = 0;
    Node node = source;
    for (;;) {
        if (node == sink) {
            std::int32_t room = std::numeric_limits<std::int32_t>::max();
            for (const Arc arc : path) room = std::min(room, residual_[arc]);
            for (const Arc arc : path) {
                residual_[arc] -= room;
                residual_[arc ^ 1] += room;
                zero_cost_[arc ^ 1] = 1;
            }
            sent += room;
            path.clear();
            node = source;
            continue;
        }
        bool advanced = false;
        for (; next_arc_[node] < starts_[node + 1]; ++next_arc_[node]) {
            const Arc arc = order_[next_arc_[node]];
            const Node to = to_[arc];
            if (depth_[to] == depth_[node] + 1 && residual_[arc] > 0 && zero_cost_[arc]) {
                path.push_back(arc);
                node = to;
                advanced = true;
                break;
            }
        }
        if (advanced) continue;
        depth_[node] = -1;  // a dead end for the rest of this round
        if (path.empty()) break;
        node = from_[path.back()];
        path.pop_back();
        ++next_arc_[node];
    }
    return sent;
}

}  // namespace lessoncover
