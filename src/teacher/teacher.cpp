#include "teacher/teacher.hpp"

#include <algorithm>
#include <charconv>

namespace lessoncover {

// Periods outside the window in words of 64 periods each, found by block number p >> 6 in a
// sorted vector (at most 1024 blocks); and, once the set is large, an open-addressing
// index over pairs_ positions plus one (0 marks a free slot), hashed with the set's own
// key. A copy of a set copies these too: the index and key stay consistent with the
// pairs, which keep their positions.
struct PeriodSet::Rare {
    struct PeriodBlock {
        std::int16_t block;
        std::uint64_t bits;
    };
    static constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

    std::vector<PeriodBlock> other_periods;
    std::vector<std::uint32_t> index;
    HashKey key{};

    std::size_t hash_of(std::int16_t period, std::string_view grade) const noexcept {
        return static_cast<std::size_t>(siphash13(key, grade, static_cast<std::uint16_t>(period), 2));
    }

    std::size_t find(const std::vector<PeriodGrade>& pairs, std::int16_t period, std::string_view grade,
                     std::size_t hash) const noexcept {
        const std::size_t mask = index.size() - 1;
        for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
            const std::uint32_t entry = index[slot];
            if (entry == 0) return kNotFound;
            const PeriodGrade& pair = pairs[entry - 1];
            if (pair.period == period && pair.grade == grade) return entry - 1;
        }
    }

    void add_to_index(std::uint32_t position, std::size_t hash) {
        const std::size_t mask = index.size() - 1;
        std::size_t slot = hash & mask;
        while (index[slot] != 0) slot = (slot + 1) & mask;
        index[slot] = position + 1;
    }

    // Takes `fresh` (zeroed, larger than twice the pairs) as the index of `pairs`.
    void use_index(const std::vector<PeriodGrade>& pairs, std::vector<std::uint32_t>&& fresh) noexcept {
        if (index.empty()) key = fresh_hash_key();
        index = std::move(fresh);
        refill_index(pairs);
    }

    // Indexes `pairs` anew in the index's slots, which are enough.
    void refill_index(const std::vector<PeriodGrade>& pairs) noexcept {
        std::fill(index.begin(), index.end(), 0);
        for (std::size_t position = 0; position < pairs.size(); ++position) {
            add_to_index(static_cast<std::uint32_t>(position), hash_of(pairs[position].period, pairs[position].grade));
        }
    }

    bool has_period(std::int16_t period) const noexcept {
        const auto block = static_cast<std::int16_t>(period >> 6);
        const auto at = std::lower_bound(other_periods.begin(), other_periods.end(), block,
                                         [](const PeriodBlock& b, std::int16_t wanted) { return b.block < wanted; });
        return at != other_periods.end() && at->block == block && ((at->bits >> (period & 63)) & 1U);
    }

    std::vector<PeriodBlock>::iterator block_of(std::int16_t period) {
        const auto block = static_cast<std::int16_t>(period >> 6);
        return std::lower_bound(other_periods.begin(), other_periods.end(), block,
                                [](const PeriodBlock& b, std::int16_t wanted) { return b.block < wanted; });
    }

    // Room for the period's block, so that marking it cannot fail.
    void make_room_for_period(std::int16_t period) {
        const auto at = block_of(period);
        if ((at == other_periods.end() || at->block != (period >> 6)) && other_periods.size() == other_periods.capacity()) {
            other_periods.reserve(other_periods.empty() ? 4 : 2 * other_periods.capacity());
        }
    }

    void mark_period(std::int16_t period) noexcept {
        auto at = block_of(period);
        if (at == other_periods.end() || at->block != (period >> 6)) {
            at = other_periods.insert(at, PeriodBlock{static_cast<std::int16_t>(period >> 6), 0});  // has room
        }
        at->bits |= std::uint64_t{1} << (period & 63);
    }
};

PeriodSet::PeriodSet(const PeriodSet& other)
    : pairs_(other.pairs_),
      window_periods_(other.window_periods_),
      window_(other.window_),
      rare_(other.rare_ ? std::make_unique<Rare>(*other.rare_) : nullptr) {}

PeriodSet& PeriodSet::operator=(const PeriodSet& other) {
    if (this != &other) *this = PeriodSet(other);
    return *this;
}

PeriodSet::PeriodSet() noexcept = default;
PeriodSet::PeriodSet(PeriodSet&&) noexcept = default;
PeriodSet& PeriodSet::operator=(PeriodSet&&) noexcept = default;
PeriodSet::~PeriodSet() = default;

PeriodSet::Rare& PeriodSet::rare() {
    if (!rare_) rare_ = std::make_unique<Rare>();
    return *rare_;
}

bool PeriodSet::has_other_period(std::int16_t period) const noexcept { return rare_->has_period(period); }

bool PeriodSet::find_directly(std::int16_t period, std::string_view grade) const noexcept {
    for (const PeriodGrade& pair : pairs_) {
        if (pair.period == period && pair.grade == grade) return true;
    }
    return false;
}

bool PeriodSet::insert_otherwise(std::int16_t period, std::string_view grade) {
    // A period nobody holds yet means a new pair: no search needed.
    const bool known_period = has_period(period);
    const bool indexed = rare_ != nullptr && !rare_->index.empty();
    std::size_t hash = 0;
    if (indexed) {
        hash = rare_->hash_of(period, grade);
        if (known_period && rare_->find(pairs_, period, grade, hash) != Rare::kNotFound) return false;
    } else if (known_period && find_directly(period, grade)) {
        return false;
    }

    // Everything that can fail comes first: the pair, room for it, the rare parts and a
    // larger index. Then the pair goes in with nothing left to fail.
    PeriodGrade added{period, std::string(grade)};
    if (pairs_.size() == pairs_.capacity()) {
        pairs_.reserve(pairs_.empty() ? kFirstCapacity : 2 * pairs_.capacity());
    }
    const std::int16_t window = pairs_.empty() ? window_of(period) : window_;
    const bool in_window_after = static_cast<std::uint16_t>(static_cast<std::uint16_t>(period) -
                                                            static_cast<std::uint16_t>(window)) < 64;
    if (!in_window_after) rare().make_room_for_period(period);
    std::vector<std::uint32_t> grown_index;
    if (indexed ? 2 * (pairs_.size() + 1) > rare_->index.size() : pairs_.size() + 1 > kDirectSearchLimit) {
        Rare& parts = rare();
        grown_index.resize(indexed ? 2 * parts.index.size() : 4 * kDirectSearchLimit);
    }

    window_ = window;
    pairs_.push_back(std::move(added));
    if (in_window_after) {
        window_periods_ |= std::uint64_t{1} << in_window(period);
    } else {
        rare_->mark_period(period);
    }
    if (!grown_index.empty()) {
        // At most half full, so probes stay short and a free slot always exists.
        rare_->use_index(pairs_, std::move(grown_index));
    } else if (indexed) {
        rare_->add_to_index(static_cast<std::uint32_t>(pairs_.size() - 1), hash);
    }
    return true;
}

namespace {

Result<std::string> teacher_text(const Teacher& teacher, InterruptionCheck& check) {
    std::string out = "Teacher:\n    {\n        name:";
    out += teacher.name;
    out += " \n        periods: [";
    bool first = true;
    for (const PeriodGrade& pair : teacher.periods) {
        if (check.step()) return interrupted();
        if (!first) out += ", ";
        first = false;
        char digits[8];
        auto end = std::to_chars(digits, digits + sizeof digits, pair.period).ptr;
        std::string item(digits, end);
        item += ':';
        item += pair.grade;
        append_quoted(out, item);
    }
    out += "] \n        subject: ";
    out += display_name(teacher.sub);
    out += "\n        present: ";
    out += teacher.present ? "true" : "false";
    out += "\n    }\n";
    return out;
}

}  // namespace

std::string printed_text(const Teacher& teacher) {
    return made_without_stopping([&](InterruptionCheck& check) { return teacher_text(teacher, check); });
}

Result<std::string> printed_text(const Teacher& teacher, Interruption& interruption) {
    return made_unless_stopped(interruption, [&](InterruptionCheck& check) { return teacher_text(teacher, check); });
}

void describe(DebugWriter& writer, const Teacher& teacher) {
    writer.begin_record("Teacher");
    writer.field("name");
    writer.text(teacher.name);
    writer.field("periods");
    writer.begin_set();
    for (const PeriodGrade& pair : teacher.periods) {
        if (writer.stop_here()) break;
        writer.begin_pair();
        writer.integer(pair.period);
        writer.text(pair.grade);
        writer.end();
    }
    writer.end();
    writer.field("sub");
    writer.word(display_name(teacher.sub));
    writer.field("present");
    writer.boolean(teacher.present);
    writer.field("reason_of_absentee");
    writer.text(teacher.reason_of_absentee);
    writer.end();
}

void describe(DebugWriter& writer, const TeacherRef& teacher) {
    describe_handle(writer, teacher, [](DebugWriter& w, const Teacher& t) { describe(w, t); });
}

}  // namespace lessoncover
