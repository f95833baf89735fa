// PyRef: owns one reference to a Python object, so every path releases what
// it made.
#ifndef KADRIVER_PYREF_H
#define KADRIVER_PYREF_H

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

class PyRef
{
  public:
    PyRef() = default;
    explicit PyRef(PyObject *owned) : object_(owned) {} // takes a new reference
    PyRef(const PyRef &) = delete;
    PyRef &operator=(const PyRef &) = delete;
    PyRef(PyRef &&other) noexcept : object_(other.release()) {}
    PyRef &operator=(PyRef &&other) noexcept
    {
        reset(other.release());
        return *this;
    }
    ~PyRef() { Py_XDECREF(object_); }

    static PyRef borrowed(PyObject *object)
    {
        Py_XINCREF(object);
        return PyRef(object);
    }

    PyObject *get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    PyObject *release() { return std::exchange(object_, nullptr); }
    void reset(PyObject *owned = nullptr)
    {
        PyObject *old = std::exchange(object_, owned);
        Py_XDECREF(old);
    }

  private:
    PyObject *object_ = nullptr;
};

#endif
