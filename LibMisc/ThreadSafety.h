#pragma once

#include <memory>
#include <mutex>

namespace LibMisc {

// Bases that give a derived class one recursive mutex to hold around its own
// operations (so one operation may call another on the same thread). Copying
// a derived object gives the copy a mutex of its own.
class ThreadSafeSimple {
public:
    using Lock = std::lock_guard<std::recursive_mutex>;

    ThreadSafeSimple() = default;
    ThreadSafeSimple(const ThreadSafeSimple&) {}
    ThreadSafeSimple& operator=(const ThreadSafeSimple&) { return *this; }

protected:
    ~ThreadSafeSimple() = default;
    mutable std::recursive_mutex _mutex;
};

// As ThreadSafeSimple, and lockable from outside (std::lock_guard<ThreadSafe>).
class ThreadSafe : public ThreadSafeSimple {
public:
    void lock() const { _mutex.lock(); }
    void unlock() const { _mutex.unlock(); }
    bool try_lock() const { return _mutex.try_lock(); }

protected:
    ~ThreadSafe() = default;
};

class ITerminator {
public:
    enum Status { Running = 0, Terminate = 1 };

    virtual ~ITerminator() = default;
    virtual Status getStatus() const = 0;
    virtual void setStatus(Status status) = 0;
};

// A status shared between a worker and whoever stops it.
// Throws std::system_error when its mutex cannot be locked.
class ThreadTerminator : public ITerminator, public ThreadSafe {
public:
    static std::shared_ptr<ThreadTerminator> create();

    Status getStatus() const override;
    void setStatus(Status status) override;

private:
    Status _status = Running;
};

} // namespace LibMisc
