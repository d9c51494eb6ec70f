// Reading an object handed over whole (a policy) by the names of its attributes, each read
// as the type its reader wants; and snapshots of the containers such an object holds, so
// that nothing it does later changes what was read. Every refusal is a TypeError that
// names the attribute, whatever the object's class does.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "binding/owned_ref.hpp"

namespace lessoncover::binding {

// Attribute `name` of `object`; empty with TypeError when the object has none (its own
// AttributeError is the cause), with any other error as raised.
OwnedRef attribute(PyObject* object, const char* name);

// Attribute `name` as a bool, refusing anything but True and False ("NAME must be a bool").
bool read_attribute(PyObject* object, const char* name, bool& out);

// A tuple of the items of `value`, an iterable other than a str or bytes; empty with no
// error set when it is no such iterable, with the error when iterating it fails.
OwnedRef iterable_snapshot(PyObject* value);

// A list of the (key, value) tuples of `value`, a dict or a read-only view of one; empty
// with no error set when it is neither, with the error when reading it fails or gives
// anything but pairs.
OwnedRef mapping_snapshot(PyObject* value);

}  // namespace lessoncover::binding
