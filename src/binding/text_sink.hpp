// The rendered report as a Python str, made in one copy: one-byte text (ASCII or Latin-1,
// which is the str's own one-byte form) copied straight into a str of its kind, wider
// text decoded from UTF-8. When the str cannot be made, the interpreter's error
// (MemoryError) is set.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstring>
#include <string_view>

#include "binding/owned_ref.hpp"
#include "report/report.hpp"

namespace lessoncover::binding {

// The str of report bytes of the kind `kind` (see RenderedReport), or NULL with the error set.
inline PyObject* report_str(std::string_view bytes, TextKind kind) noexcept {
    const auto size = static_cast<Py_ssize_t>(bytes.size());
    if (kind == TextKind::wide) return PyUnicode_DecodeUTF8(bytes.data(), size, nullptr);
    PyObject* text = PyUnicode_New(size, kind == TextKind::ascii ? 127 : 255);
    // Empty bytes may view no memory at all, and memcpy from a null pointer is undefined
    // even for no bytes.
    if (text != nullptr && size != 0) std::memcpy(PyUnicode_1BYTE_DATA(text), bytes.data(), bytes.size());
    return text;
}

class PythonTextSink final : public ReportSink {
public:
    bool take(const RenderedReport& report) override {
        text_ = OwnedRef::steal(report_str(report.bytes, report.kind));
        return static_cast<bool>(text_);
    }

    // The str, or NULL with the error set.
    PyObject* take() noexcept { return text_.release(); }

private:
    OwnedRef text_;
};

}  // namespace lessoncover::binding
