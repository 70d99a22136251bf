// Cost of one child process from spawn to reaped exit: "/bin/sh -c true" through the process
// runner, against the same program started with a plain fork, exec and waitpid.
#include "platform/linux/linuxprocessrunner.h"

#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void BM_ProcessRunnerShellTrue(benchmark::State& state) {
    korvane::LinuxProcessRunner runner;
    korvane::ProcessRequest request;
    request.executable = "/bin/sh";
    request.arguments = {"-c", "true"};
    request.timeout = 10.0;
    for (auto _ : state) {
        auto result = runner.run(request);
        if (!result || result->status != 0) {
            state.SkipWithError("the run failed");
            break;
        }
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_ProcessRunnerShellTrue)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_ForkExecWaitShellTrue(benchmark::State& state) {
    for (auto _ : state) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl("/bin/sh", "/bin/sh", "-c", "true", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        benchmark::DoNotOptimize(status);
    }
}
BENCHMARK(BM_ForkExecWaitShellTrue)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
