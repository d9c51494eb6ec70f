/* A benchmark helper, never installed: C functions that do nothing, called the way the
 * module's functions are called (METH_FASTCALL | METH_KEYWORDS, any arguments), so that
 * bench.py can time the interpreter's own share of a pipeline: the same loop with every
 * call of the module replaced by one of these. bench.py builds it on first use.
 *
 * noop(...) returns None. blank(...) returns a new object whose only attribute,
 * reason_of_absentee, can be written (a C member, as the module's is a C property), so the
 * loop that sets an absentee's reason runs unchanged. Each teacher of the loop is then an
 * object of its own, as with the module: the loop's reference counting touches as many
 * objects as the pipeline's does. BLANK_SIZE, given when building, is the size of the
 * module's Teacher object, so that the objects lie as far apart in memory. */
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <structmember.h>

#ifndef BLANK_SIZE
#define BLANK_SIZE 0
#endif

typedef struct {
    PyObject_HEAD
    PyObject* reason_of_absentee;
} Blank;

static void blank_dealloc(PyObject* self) {
    Py_CLEAR(((Blank*)self)->reason_of_absentee);
    Py_TYPE(self)->tp_free(self);
}

static PyMemberDef blank_members[] = {
    {"reason_of_absentee", T_OBJECT, offsetof(Blank, reason_of_absentee), 0, NULL},
    {NULL, 0, 0, 0, NULL},
};

static PyTypeObject BlankType = {
    PyVarObject_HEAD_INIT(NULL, 0)
    .tp_name = "_bench_noop.Blank",
    .tp_basicsize = BLANK_SIZE > sizeof(Blank) ? BLANK_SIZE : sizeof(Blank),
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_dealloc = blank_dealloc,
    .tp_members = blank_members,
};

static PyObject* noop(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    (void)self;
    (void)args;
    (void)nargs;
    (void)kwnames;
    Py_RETURN_NONE;
}

static PyObject* blank(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    (void)self;
    (void)args;
    (void)nargs;
    (void)kwnames;
    return PyType_GenericAlloc(&BlankType, 0);
}

static PyMethodDef methods[] = {
    {"noop", (PyCFunction)(void (*)(void))noop, METH_FASTCALL | METH_KEYWORDS,
     "noop(*args, **kwargs)\n--\n\nDoes nothing; returns None."},
    {"blank", (PyCFunction)(void (*)(void))blank, METH_FASTCALL | METH_KEYWORDS,
     "blank(*args, **kwargs)\n--\n\nReturns a new Blank object."},
    {NULL, NULL, 0, NULL},
};

static struct PyModuleDef module = {PyModuleDef_HEAD_INIT, "_bench_noop", NULL, -1, methods};

PyMODINIT_FUNC PyInit__bench_noop(void) {
    if (PyType_Ready(&BlankType) < 0) return NULL;
    return PyModule_Create(&module);
}
