#include "zarn/driver/HostProcess.h"

#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>

namespace zarn {

namespace {

struct ThreadWork {
    const std::function<int()>* body;
    int result = 0;
};

void* runThreadWork(void* argument) {
    auto* work = static_cast<ThreadWork*>(argument);
    work->result = (*work->body)();
    return nullptr;
}

} // namespace

int runWithStack(size_t stackBytes, const std::function<int()>& body) {
    ThreadWork work{&body};
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) return body();
    pthread_t thread;
    bool started = pthread_attr_setstacksize(&attributes, stackBytes) == 0 &&
                   pthread_create(&thread, &attributes, runThreadWork, &work) == 0;
    pthread_attr_destroy(&attributes);
    if (!started) return body();
    pthread_join(thread, nullptr);
    return work.result;
}

int runInChildProcess(const std::function<int()>& body) {
    // Anything buffered now would otherwise be written by both processes.
    std::cout.flush();
    std::fflush(nullptr);
    pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        int status = body();
        std::cout.flush();
        std::fflush(nullptr);
        // No exit handlers: they belong to the parent's state.
        ::_exit(status);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace zarn
