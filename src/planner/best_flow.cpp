#include "planner/best_flow.hpp"

#include <algorithm>
#include <limits>
#include <queue>
#include <utility>

namespace lessoncover {

void LexFlow::reset(std::size_t nodes) {
    nodes_ = nodes;
    arcs_.clear();
    from_.clear();
    total_flow_ = 0;
}

LexFlow::Arc LexFlow::add_arc(Node from, Node to, std::int32_t capacity, const LexCost& cost) {
    const auto arc = static_cast<Arc>(arcs_.size());
    arcs_.push_back(ArcData{to, capacity, cost});
    arcs_.push_back(ArcData{from, 0, -cost});
    from_.push_back(from);
    from_.push_back(to);
    return arc;
}

LexCost LexFlow::total_cost() const noexcept {
    LexCost total;
    for (std::size_t arc = 0; arc < arcs_.size(); arc += 2) {
        const std::int32_t sent = arcs_[arc + 1].residual;
        for (std::size_t i = 0; i < kCostLevels; ++i) total.level[i] += arcs_[arc].cost.level[i] * sent;
    }
    return total;
}

// Arcs by the node they leave, in the order added: a counting sort.
void LexFlow::index_arcs() {
    starts_.assign(nodes_ + 1, 0);
    for (const Node from : from_) ++starts_[from + 1];
    for (std::size_t node = 0; node < nodes_; ++node) starts_[node + 1] += starts_[node];
    order_.resize(arcs_.size());
    std::vector<std::uint32_t> next(starts_.begin(), starts_.end() - 1);
    for (std::size_t arc = 0; arc < arcs_.size(); ++arc) order_[next[from_[arc]]++] = static_cast<Arc>(arc);
}

bool LexFlow::solve(Node source, Node sink, InterruptionCheck& check) {
    index_arcs();
    // Every cost given is at least zero, so zero potentials start the reduced costs right.
    potential_.assign(nodes_, LexCost{});
    total_flow_ = 0;
    while (shortest_paths(source, sink, check)) {
        if (check.stopped()) return false;
        for (;;) {
            // Levels of the arcs of zero reduced cost, by hops from the source.
            depth_.assign(nodes_, -1);
            std::vector<Node> queue{source};
            depth_[source] = 0;
            for (std::size_t at = 0; at < queue.size(); ++at) {
                const Node node = queue[at];
                for (std::uint32_t i = starts_[node]; i < starts_[node + 1]; ++i) {
                    const Arc arc = order_[i];
                    const Node to = arcs_[arc].to;
                    if (depth_[to] < 0 && admissible(arc, node)) {
                        depth_[to] = depth_[node] + 1;
                        queue.push_back(to);
                    }
                }
            }
            if (depth_[sink] < 0) break;
            const std::int64_t sent = blocking_flow(source, sink);
            if (sent == 0) break;
            total_flow_ += sent;
            if (check.step(static_cast<std::int64_t>(queue.size()))) return false;
        }
    }
    return !check.stopped();
}

// Dijkstra on reduced costs, then each node's potential moves by its distance, capped at
// the sink's: arcs with room keep a reduced cost of at least zero, and those on shortest
// paths to the sink get zero. False when the sink cannot be reached.
bool LexFlow::shortest_paths(Node source, Node sink, InterruptionCheck& check) {
    distance_.assign(nodes_, LexCost{});
    done_.assign(nodes_, 0);
    std::vector<std::uint8_t> seen(nodes_, 0);
    using Entry = std::pair<LexCost, Node>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> queue;
    queue.emplace(LexCost{}, source);
    seen[source] = 1;
    std::size_t settled = 0;
    while (!queue.empty()) {
        const auto [distance, node] = queue.top();
        queue.pop();
        if (done_[node]) continue;
        done_[node] = 1;
        ++settled;
        if (node == sink) break;
        for (std::uint32_t i = starts_[node]; i < starts_[node + 1]; ++i) {
            const Arc arc = order_[i];
            const ArcData& data = arcs_[arc];
            if (data.residual <= 0 || done_[data.to]) continue;
            const LexCost reached = distance + data.cost + potential_[node] - potential_[data.to];
            if (!seen[data.to] || reached < distance_[data.to]) {
                seen[data.to] = 1;
                distance_[data.to] = reached;
                queue.emplace(reached, data.to);
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
            for (const Arc arc : path) room = std::min(room, arcs_[arc].residual);
            for (const Arc arc : path) {
                arcs_[arc].residual -= room;
                arcs_[arc ^ 1].residual += room;
            }
            sent += room;
            path.clear();
            node = source;
            continue;
        }
        bool advanced = false;
        for (; next_arc_[node] < starts_[node + 1]; ++next_arc_[node]) {
            const Arc arc = order_[next_arc_[node]];
            const Node to = arcs_[arc].to;
            if (depth_[to] == depth_[node] + 1 && admissible(arc, node)) {
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
