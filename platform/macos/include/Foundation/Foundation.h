// The part of Foundation and the object runtime that this system calls,
// written as C++: an Objective-C message [object name:argument] becomes the
// member call object->name(argument), a class message [Class name] a static
// member call, [Class new] becomes new Class() with a retain count of 1, and
// @selector(name:) the address of the member function &Class::name.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <atomic>
#include <cstdarg>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

typedef signed char BOOL;
#define YES ((BOOL)1)
#define NO ((BOOL)0)

typedef unsigned long NSUInteger;
typedef long NSInteger;
typedef double NSTimeInterval;
typedef uint16_t unichar;

namespace macos {
class RunLoop;
}

class NSObject;
typedef NSObject* id;
#define nil nullptr

// A selector: a member function of some NSObject class taking one object
// argument. Sending it to an object of another class is an error, as in the
// object runtime ("unrecognized selector").
class SEL {
public:
    template <class T>
    SEL(void (T::*method)(id))
        : m_send([method](NSObject* receiver, id argument) {
              T* target = dynamic_cast<T*>(receiver);
              if (!target)
                  throwUnrecognizedSelector();
              (target->*method)(argument);
          }) {}

    void send(NSObject* receiver, id argument) const { m_send(receiver, argument); }

private:
    [[noreturn]] static void throwUnrecognizedSelector();
    std::function<void(NSObject*, id)> m_send;
};

// The root class: reference counted; the last release deletes the object.
class NSObject {
public:
    NSObject();
    NSObject(const NSObject&) = delete;
    NSObject& operator=(const NSObject&) = delete;

    id retain();
    void release();
    // Hands one reference to the innermost autorelease pool of the calling
    // thread; on the main thread without a pool, to the run loop's own pool,
    // drained after each task. Elsewhere without a pool the object leaks and
    // NSLog says so, as on macOS.
    id autorelease();
    NSUInteger retainCount() const;

    // Sends the selector to this object on the main run loop. The receiver and
    // the argument are retained until it has run. With wait set the caller
    // blocks until it has run (at once when the caller is the main thread).
    void performSelectorOnMainThread(SEL selector, id argument, BOOL wait);

protected:
    virtual ~NSObject();

private:
    std::atomic<NSUInteger> m_retainCount;
};

// A stack of autorelease pools per thread; release (or drain) releases every
// object autoreleased into the pool and removes it.
class NSAutoreleasePool : public NSObject {
public:
    NSAutoreleasePool();
    void drain() { release(); }
    void addObject(NSObject* object);

protected:
    ~NSAutoreleasePool() override;

private:
    std::vector<NSObject*> m_objects;
};

// Only the question of which thread is calling.
class NSThread : public NSObject {
public:
    static BOOL isMainThread();
};

// A timer of the run loop of the thread that schedules it: the main loop on
// the main thread; any other thread's own loop, which fires it only while that
// thread runs its loop. The timer retains its target and user info until it is
// invalidated; the run loop retains the timer while it is scheduled. As on
// macOS, only the timer's own thread may invalidate it: from another thread
// invalidate leaves the timer scheduled, and the stand-in counts the call
// (macos::timerInvalidationsFromOtherThreads).
class NSTimer : public NSObject {
public:
    // Autoreleased; repeats every interval when repeats is set, else fires once
    // and invalidates itself. An interval of 0 or less counts as 0.1 ms.
    static NSTimer* scheduledTimerWithTimeInterval(NSTimeInterval seconds, id target, SEL selector,
                                                   id userInfo, BOOL repeats);
    void invalidate();
    BOOL isValid() const;
    NSTimeInterval timeInterval() const { return m_interval; }
    id userInfo() const { return m_userInfo; }

protected:
    ~NSTimer() override;

private:
    NSTimer(NSTimeInterval seconds, id target, SEL selector, id userInfo, BOOL repeats);
    void fire();

    NSTimeInterval m_interval;
    id m_target;
    SEL m_selector;
    id m_userInfo;
    bool m_repeats;
    // The loop it is scheduled on, which goes with its thread.
    std::weak_ptr<macos::RunLoop> m_runLoop;
    std::atomic<uint64_t> m_runLoopTimer{0};
};

typedef NSUInteger NSStringEncoding;
enum : NSStringEncoding {
    NSASCIIStringEncoding = 1,
    NSUTF8StringEncoding = 4,
    NSMacOSRomanStringEncoding = 30
};

// An immutable Unicode string held as UTF-16 units.
class NSString : public NSObject {
public:
    // Autoreleased; nil for a NULL pointer or text that is not UTF-8.
    static NSString* stringWithUTF8String(const char* text);
    // The system's default 8-bit encoding: Mac OS Roman.
    static NSStringEncoding defaultCStringEncoding();

    NSUInteger length() const { return m_units.size(); }
    // Raises std::out_of_range past the end.
    unichar characterAtIndex(NSUInteger index) const;
    // Valid as long as the string.
    const char* UTF8String() const;
    // NULL when a character has no form in the encoding or the encoding is unknown.
    const char* cStringUsingEncoding(NSStringEncoding encoding) const;
    // Autoreleased: this path with the component appended after one "/".
    NSString* stringByAppendingPathComponent(NSString* component) const;

protected:
    ~NSString() override = default;

private:
    explicit NSString(std::u16string units);
    std::u16string m_units;
    mutable std::map<NSStringEncoding, std::string> m_encoded;
    mutable std::map<NSStringEncoding, bool> m_unencodable;
};

// An immutable array of objects, each retained by the array.
class NSArray : public NSObject {
public:
    // Autoreleased.
    static NSArray* arrayWithObjects(const std::vector<NSObject*>& objects);
    NSUInteger count() const { return m_objects.size(); }
    // Raises std::out_of_range past the end.
    id objectAtIndex(NSUInteger index) const;

protected:
    ~NSArray() override;

private:
    explicit NSArray(const std::vector<NSObject*>& objects);
    std::vector<NSObject*> m_objects;
};

typedef enum : NSUInteger { NSApplicationSupportDirectory = 14 } NSSearchPathDirectory;
typedef enum : NSUInteger { NSUserDomainMask = 1 } NSSearchPathDomainMask;

// Autoreleased folder names; see MacStandIn/StandIn.h for how tests set them.
NSString* NSHomeDirectory(void);
NSString* NSTemporaryDirectory(void);
NSArray* NSSearchPathForDirectoriesInDomains(NSSearchPathDirectory directory,
                                             NSSearchPathDomainMask domainMask, BOOL expandTilde);

// Writes the formatted message to standard error and keeps it (see StandIn.h).
void NSLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
