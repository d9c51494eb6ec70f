// The Interruption of a call from Python: the interpreter's signal handlers, run when
// asked by PyErr_CheckSignals() (in the main thread; other threads are never stopped;
// from CPython 3.12 it may also run a collection that is due, in any thread). A handler
// that raises, as the default SIGINT handler does with KeyboardInterrupt, stops the
// operation with its exception set. Handlers are Python code, which may let other threads
// run and may call the module again: the core asks only while it holds no record's lock,
// and the call's borrows keep its own objects out of reach.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "interruption.hpp"

namespace lessoncover::binding {

class SignalHandlers final : public Interruption {
public:
    bool requested() override { return PyErr_CheckSignals() != 0; }
};

}  // namespace lessoncover::binding
