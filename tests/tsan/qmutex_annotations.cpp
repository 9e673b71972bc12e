// ThreadSanitizer build only: makes QMutex visible to ThreadSanitizer.
//
// QMutex::lock() and unlock() live in the (uninstrumented) Qt library and wait on futexes, so
// ThreadSanitizer sees neither the lock nor the order it gives: every access guarded by a
// QMutex would be reported as a race, and lock-order inversions between QMutexes would go
// unseen. This small shared library is linked ahead of Qt into every program of a
// ThreadSanitizer build; its QMutex::lock/tryLock/unlock announce the operation to
// ThreadSanitizer and call Qt's own implementation. Qt's internal locking (which does not go
// through these entry points) stays invisible; tests/tsan.supp covers races inside Qt.
//
// Likewise a functor handed to QMetaObject::invokeMethod from another thread travels through
// Qt's event queue, whose lock ThreadSanitizer does not see: the functor is announced as
// released when posted and acquired where Qt calls or destroys it.
#include <QMutex>
#include <QObject>
#include <dlfcn.h>
#include <sanitizer/tsan_interface.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

using LockFn = void (*)(QMutex*);
using TryLockFn = bool (*)(QMutex*, int);

// Qt's implementation of `symbol`, looked up once.
template <typename Fn>
Fn qt_entry(std::atomic<Fn>& cache, const char* symbol)
{
    Fn fn = cache.load(std::memory_order_acquire);
    if (fn)
        return fn;
    fn = reinterpret_cast<Fn>(dlvsym(RTLD_NEXT, symbol, "Qt_5"));
    if (!fn)
        fn = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, symbol));
    if (!fn) {
        std::fprintf(stderr, "qmutex_annotations: %s not found in Qt\n", symbol);
        std::abort();
    }
    cache.store(fn, std::memory_order_release);
    return fn;
}

std::atomic<LockFn> g_lock{nullptr};
std::atomic<LockFn> g_unlock{nullptr};
std::atomic<TryLockFn> g_try_lock{nullptr};

}  // namespace

void QMutex::lock() QT_MUTEX_LOCK_NOEXCEPT
{
    const LockFn real = qt_entry(g_lock, "_ZN6QMutex4lockEv");
    __tsan_mutex_pre_lock(this, 0);
    real(this);
    __tsan_mutex_post_lock(this, 0, 0);
}

bool QMutex::tryLock(int timeout) QT_MUTEX_LOCK_NOEXCEPT
{
    const TryLockFn real = qt_entry(g_try_lock, "_ZN6QMutex7tryLockEi");
    __tsan_mutex_pre_lock(this, __tsan_mutex_try_lock);
    const bool ok = real(this, timeout);
    __tsan_mutex_post_lock(this, __tsan_mutex_try_lock | (ok ? 0 : __tsan_mutex_try_lock_failed), 0);
    return ok;
}

void QMutex::unlock() noexcept
{
    const LockFn real = qt_entry(g_unlock, "_ZN6QMutex6unlockEv");
    __tsan_mutex_pre_unlock(this, 0);
    real(this);
    __tsan_mutex_post_unlock(this, 0);
}

namespace {

// Wraps the posted functor so that its call and its destruction acquire what the posting
// thread released. Whichever thread drops the last reference (Qt's reference count is
// invisible too) destroys it, possibly the posting thread after the call: a call releases.
class HandedOverSlot : public QtPrivate::QSlotObjectBase {
public:
    explicit HandedOverSlot(QtPrivate::QSlotObjectBase* inner) : QSlotObjectBase(&impl), inner_(inner) {}

private:
    static void impl(int which, QSlotObjectBase* self, QObject* receiver, void** args, bool* ret)
    {
        auto* s = static_cast<HandedOverSlot*>(self);
        __tsan_acquire(s);
        if (which == Destroy) {
            s->inner_->destroyIfLastRef();
            delete s;
            return;
        }
        if (which == Call)
            s->inner_->call(receiver, args);
        else if (which == Compare)
            *ret = s->inner_->compare(args);
        __tsan_release(s);
    }
    QtPrivate::QSlotObjectBase* inner_;
};

using InvokeFn = bool (*)(QObject*, QtPrivate::QSlotObjectBase*, Qt::ConnectionType, void*);
std::atomic<InvokeFn> g_invoke{nullptr};

}  // namespace

bool QMetaObject::invokeMethodImpl(QObject* object, QtPrivate::QSlotObjectBase* slot, Qt::ConnectionType type,
                                   void* ret)
{
    const InvokeFn real =
        qt_entry(g_invoke, "_ZN11QMetaObject16invokeMethodImplEP7QObjectPN9QtPrivate15QSlotObjectBaseEN2Qt14ConnectionTypeEPv");
    auto* handed = new HandedOverSlot(slot);
    __tsan_release(handed);
    return real(object, handed, type, ret);
}
