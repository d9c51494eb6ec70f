// A minimum-cost maximum flow whose costs are compared as tuples, level by level: a path
// that is cheaper on the first level is cheaper, whatever it costs on the others. Summing
// the levels into one number with big weights would need weights past 64 bits at district
// size; tuples of small numbers never overflow.
//
// The method is the primal-dual one: Dijkstra's shortest paths on costs reduced by node
// potentials, then a maximum flow (Dinic's) over the arcs of zero reduced cost, again until
// the sink cannot be reached. Costs here take few distinct values, so there are few rounds.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "interruption.hpp"

namespace lessoncover {

inline constexpr std::size_t kCostLevels = 5;

struct LexCost {
    std::array<std::int64_t, kCostLevels> level{};

    friend LexCost operator+(LexCost a, const LexCost& b) noexcept {
        for (std::size_t i = 0; i < kCostLevels; ++i) a.level[i] += b.level[i];
        return a;
    }
    friend LexCost operator-(LexCost a, const LexCost& b) noexcept {
        for (std::size_t i = 0; i < kCostLevels; ++i) a.level[i] -= b.level[i];
        return a;
    }
    LexCost operator-() const noexcept { return LexCost{} - *this; }
    friend auto operator<=>(const LexCost&, const LexCost&) = default;
    bool is_zero() const noexcept { return *this == LexCost{}; }
};

class LexFlow {
public:
    using Node = std::uint32_t;
    using Arc = std::uint32_t;

    // Starts a graph of `nodes` nodes and no arcs.
    void reset(std::size_t nodes);
    // An arc and its reverse (the arc ^ 1); returns the arc.
    Arc add_arc(Node from, Node to, std::int32_t capacity, const LexCost& cost);
    // Sends as much flow as can go from `source` to `sink`, at the least cost among the
    // flows of that size. Arcs are read in the order they were added wherever two choices
    // cost the same, so the same graph always gives the same flow. False when `check`
    // stopped it.
    bool solve(Node source, Node sink, InterruptionCheck& check);

    std::int32_t flow(Arc arc) const noexcept { return residual_[arc ^ 1]; }
    Node head(Arc arc) const noexcept { return to_[arc]; }
    std::int64_t total_flow() const noexcept { return total_flow_; }
    LexCost total_cost() const noexcept;
    // The arcs that leave `node`, in the order added (reverse arcs included: odd numbers).
    template <class Visit>
    void for_each_arc(Node node, Visit visit) const {
        for (std::uint32_t at = starts_[node]; at < starts_[node + 1]; ++at) visit(order_[at]);
    }
    void reserve(std::size_t arcs);

private:
    void index_arcs();
    bool shortest_paths(Node source, Node sink, InterruptionCheck& check);
    void mark_admissible();
    std::int64_t blocking_flow(Node source, Node sink);

    // By arc, in pairs (an arc, then its reverse): where it goes and leaves from, the room
    // left, the cost; and, for the round, whether its reduced cost is zero.
    std::vector<Node> to_;
    std::vector<Node> from_;
    std::vector<std::int32_t> residual_;
    std::vector<LexCost> cost_;
    std::vector<std::uint8_t> zero_cost_;
    std::size_t nodes_ = 0;
    std::vector<std::uint32_t> starts_;  // by node, into order_
    std::vector<Arc> order_;
    std::vector<LexCost> potential_;
    std::vector<LexCost> distance_;
    std::vector<std::uint8_t> done_;
    std::vector<std::int32_t> depth_;
    std::vector<Node> queue_;
    std::vector<std::uint32_t> next_arc_;
    std::int64_t total_flow_ = 0;
};

}  // namespace lessoncover
