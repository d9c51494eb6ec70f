// A report sink that makes the Python str itself. A report whose rows are ASCII is written
// straight into the buffer of a str of one byte a character: an ASCII str when the timing
// line will likely be ASCII too, else a Latin-1 one (a short run's "µs"), whose timing line
// is then recoded in place. Only a wrong guess costs a copy. Other text is gathered as
// UTF-8 and decoded once at the end. When the str cannot be made, the interpreter's error
// (MemoryError) is set and the sink says so.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "binding/owned_ref.hpp"
#include "report/report.hpp"
#include "unicode_text.hpp"

namespace lessoncover::binding {

class PythonTextSink final : public ReportSink {
public:
    char* room(const ReportRoom& room) override {
        if (room.ascii_but_timing) {
            text_ = OwnedRef::steal(
                PyUnicode_New(static_cast<Py_ssize_t>(room.capacity), room.timing_likely_ascii ? 127 : 255));
            if (!text_) return nullptr;
            return bytes();
        }
        utf8_.resize(room.capacity);
        return utf8_.data();
    }

    bool finish(std::size_t timing_start, std::size_t size, bool ascii) override {
        if (text_) {
            if (ascii) return PyUnicode_IS_ASCII(text_.get()) ? cut(size) : copy_as(127, size, {});
            // The rows are ASCII; the timing line's part is UTF-8, mostly of Latin-1.
            const std::string_view tail(bytes() + timing_start, size - timing_start);
            if (const std::optional<std::string> latin1 = as_latin1(tail)) {
                if (PyUnicode_IS_ASCII(text_.get())) return copy_as(255, timing_start, *latin1);
                std::memcpy(bytes() + timing_start, latin1->data(), latin1->size());
                return cut(timing_start + latin1->size());
            }
        }
        const char* text = text_ ? bytes() : utf8_.data();
        text_ = OwnedRef::steal(PyUnicode_DecodeUTF8(text, static_cast<Py_ssize_t>(size), nullptr));
        return static_cast<bool>(text_);
    }

    // The str, or NULL with the decoding error set.
    PyObject* take() noexcept { return text_.release(); }

private:
    char* bytes() const noexcept { return reinterpret_cast<char*>(PyUnicode_1BYTE_DATA(text_.get())); }

    // Cuts the str to its first `size` characters; it keeps its kind.
    bool cut(std::size_t size) {
        PyObject* text = text_.release();
        if (PyUnicode_Resize(&text, static_cast<Py_ssize_t>(size)) < 0) return false;  // text is freed
        text_ = OwnedRef::steal(text);
        return true;
    }

    // A new str of characters up to `max_char` (127 or 255): the first `size` characters
    // of this one, then `tail`.
    bool copy_as(Py_UCS4 max_char, std::size_t size, std::string_view tail) {
        OwnedRef copy = OwnedRef::steal(PyUnicode_New(static_cast<Py_ssize_t>(size + tail.size()), max_char));
        if (!copy) return false;
        char* to = reinterpret_cast<char*>(PyUnicode_1BYTE_DATA(copy.get()));
        std::memcpy(to, bytes(), size);
        // An empty tail may view no memory at all, and memcpy from a null pointer is
        // undefined even for no bytes.
        if (!tail.empty()) std::memcpy(to + size, tail.data(), tail.size());
        text_ = std::move(copy);
        return true;
    }

    // UTF-8 text as Latin-1 bytes, when every character is below U+0100 and some is not
    // ASCII; nothing otherwise.
    static std::optional<std::string> as_latin1(std::string_view utf8) {
        std::string latin1;
        bool beyond_ascii = false;
        for (std::size_t at = 0; at < utf8.size();) {
            const unicode::DecodedChar decoded = unicode::decode_utf8(utf8, at);
            if (decoded.code_point > 0xff) return std::nullopt;  // malformed bytes decode as U+FFFD
            latin1 += static_cast<char>(decoded.code_point);
            beyond_ascii = beyond_ascii || decoded.code_point > 0x7f;
            at += decoded.length;
        }
        if (!beyond_ascii) return std::nullopt;
        return latin1;
    }

    OwnedRef text_;
    std::string utf8_;
};

}  // namespace lessoncover::binding
