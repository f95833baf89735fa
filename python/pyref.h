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
    PyRef(PyRef &&other) noexcept : object_(other.Release()) {}
    PyRef &operator=(PyRef &&other) noexcept
    {
        Reset(other.Release());
        return *this;
    }
    ~PyRef() { Py_XDECREF(object_); }

    PyObject *Get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    PyObject *Release() { return std::exchange(object_, nullptr); }
    void Reset(PyObject *owned = nullptr)
    {
        PyObject *old = std::exchange(object_, owned);
        Py_XDECREF(old);
    }

  private:
    PyObject *object_ = nullptr;
};

#endif
