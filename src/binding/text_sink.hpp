// A report sink that makes the Python str itself: ASCII text is written straight into the
// str's own buffer, other text is gathered as UTF-8 and decoded once at the end. When the
// str cannot be made, the interpreter's error (MemoryError) is set and the sink says so.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <new>
#include <string>

#include "binding/owned_ref.hpp"
#include "report/report.hpp"

namespace lessoncover::binding {

class PythonTextSink final : public ReportSink {
public:
    char* room(std::size_t capacity, bool ascii_but_timing) override {
        if (ascii_but_timing) {
            text_ = OwnedRef::steal(PyUnicode_New(static_cast<Py_ssize_t>(capacity), 127));
            if (!text_) return nullptr;
            return reinterpret_cast<char*>(PyUnicode_1BYTE_DATA(text_.get()));
        }
        utf8_.resize(capacity);
        return utf8_.data();
    }

    bool finish(std::size_t size, bool ascii) override {
        if (text_ && ascii) {  // cut the str to what was written
            PyObject* text = text_.release();
            if (PyUnicode_Resize(&text, static_cast<Py_ssize_t>(size)) < 0) return false;  // text is freed
            text_ = OwnedRef::steal(text);
            return true;
        }
        const char* bytes = text_ ? reinterpret_cast<const char*>(PyUnicode_1BYTE_DATA(text_.get())) : utf8_.data();
        text_ = OwnedRef::steal(PyUnicode_DecodeUTF8(bytes, static_cast<Py_ssize_t>(size), nullptr));
        return static_cast<bool>(text_);
    }

    // The str, or NULL with the decoding error set.
    PyObject* take() noexcept { return text_.release(); }

private:
    OwnedRef text_;
    std::string utf8_;
};

}  // namespace lessoncover::binding
