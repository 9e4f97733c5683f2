// A re-encoding made in parts: --chunks N on one machine, --plan DIR for many, a plan's jobs
// (--chunk I|sound --plan DIR), and assemble DIR. The parts' jobs run as a batch of their own
// (each a ulvane-cli cut or join in its own process), so that one machine and many run the
// very same jobs.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cli/child_process.h"
#include "cli/commands.h"
#include "cli/job_run.h"
#include "cli/part_plan.h"
#include "core/job_words.h"
#include "engine/atomic_file.h"
#include "engine/output_parts.h"

namespace ulvane::cli {

namespace {

volatile std::sig_atomic_t g_stopParts = 0;
void OnStopParts(int) {
    g_stopParts = 1;
}

std::string Absolute(const std::string& path) {
    std::error_code error;
    const std::filesystem::path p = std::filesystem::absolute(path, error);
    return error ? path : p.lexically_normal().string();
}

std::string Joined(const std::string& folder, const std::string& name) {
    return (std::filesystem::path(folder) / name).string();
}

// The job's words with its sources and folder as absolute paths, so that its plan's jobs run
// from any folder (and machine) that sees them at those paths.
std::vector<std::string> AbsoluteWords(std::vector<std::string> words, const ConversionJob& job) {
    for (size_t k = 1; k < words.size(); ++k) {
        const bool source = std::find(job.inputPaths.begin(), job.inputPaths.end(), words[k]) != job.inputPaths.end();
        if (source || words[k - 1] == "--out-dir") words[k] = Absolute(words[k]);
    }
    return words;
}

// What a plan knows of each source: a changed file is another source.
std::vector<std::string> SourceIdentities(const ConversionJob& job) {
    std::vector<std::string> ids;
    for (const std::string& path : job.inputPaths) {
        struct stat st {};
        std::string id = Absolute(path);
        if (::stat(path.c_str(), &st) == 0)
            id += " " + std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
                  std::to_string(st.st_mtim.tv_nsec);
        ids.push_back(id);
    }
    return ids;
}

std::string Extension(const std::string& path) {
    const std::string ext = std::filesystem::path(path).extension().string();
    return ext;
}

// "3 parts of pictures and the sound": the jobs of a plan.
std::string PartsText(const PartPlan& plan) {
    const size_t n = plan.parts.size();
    return std::to_string(n) + (n == 1 ? " part" : " parts") + " of pictures" + (plan.sound ? " and the sound" : "");
}

// The plan's folder's text file, read; nullopt with the reason printed.
std::optional<PartPlan> LoadPlan(const std::string& dir, const char* command) {
    const std::string path = Joined(dir, kPlanFileName);
    const std::optional<std::string> text = ReadRegularFile(path, 1 << 20);
    if (!text) {
        std::fprintf(stderr, "ulvane-cli: %s: no plan in %s (%s is missing)\n", command, dir.c_str(), path.c_str());
        return std::nullopt;
    }
    std::string why;
    std::optional<PartPlan> plan = ReadPlan(*text, why);
    if (!plan) std::fprintf(stderr, "ulvane-cli: %s: %s cannot be read: %s\n", command, path.c_str(), why.c_str());
    return plan;
}

// The lines of the plan's jobs: the job's words, and which part each makes. The sound comes
// first: it is the shortest, and a machine free early takes it.
std::vector<std::string> JobLines(const std::vector<std::string>& words, const PartPlan& plan, const std::string& dir,
                                  int encoderThreads) {
    std::vector<std::string> lines;
    for (size_t k = plan.sound ? 0 : 1; k <= plan.parts.size(); ++k) {
        std::vector<std::string> w = words;
        w.insert(w.end(), {"--chunk", k == 0 ? "sound" : std::to_string(k - 1), "--plan", dir});
        if (encoderThreads > 0) w.insert(w.end(), {"--encoder-threads", std::to_string(encoderThreads)});
        lines.push_back(ShellLine(w));
    }
    return lines;
}

// A plan's own job: the part the plan names, into its file in the plan's folder.
int RunPlannedPart(ConversionJob& job, const Request& r, const std::vector<std::string>& words) {
    const std::optional<PartPlan> plan = LoadPlan(r.planDir, "--chunk");
    if (!plan) return 1;
    if (PartFingerprint(words, SourceIdentities(job), *plan) != plan->fingerprint) {
        std::fprintf(stderr,
                     "ulvane-cli: the plan in %s was made for other settings or sources (or a source changed "
                     "since); make the plan again\n",
                     r.planDir.c_str());
        return 1;
    }
    std::string name;
    if (r.chunk == "sound" && !plan->sound) {
        std::fprintf(stderr, "ulvane-cli: the plan in %s has no sound to make\n", r.planDir.c_str());
        return 1;
    }
    if (r.chunk == "sound") {
        job.part.kind = OutputPart::Kind::Sound;
        name = SoundFileName(*plan);
    } else {
        const size_t index = std::stoul(r.chunk);
        if (index >= plan->parts.size())
            return UsageError(
                "--chunk " + r.chunk + ": the plan has parts 0 to " + std::to_string(plan->parts.size() - 1),
                job.joinMode ? "join" : "cut");
        job.part = plan->parts[index];
        name = PicturesFileName(*plan, index);
    }
    job.part.encoderThreads = r.encoderThreads;
    job.outputPaths[0] = Joined(r.planDir, name);
    if (r.skipDone && IsFile(job.outputPaths[0])) {
        std::fprintf(stderr, "note: made before, skipped: %s\n", job.outputPaths[0].c_str());
        std::printf("%s\n", job.outputPaths[0].c_str());
        return 0;
    }
    return RunJob(job, r.quiet);
}

// Plans the parts of `job` into `dir` (made when missing); nullopt with the reason printed.
std::optional<PartPlan> MakePlan(const ConversionJob& job, const Request& r, const std::vector<std::string>& words,
                                 const std::string& dir) {
    std::error_code made;
    std::filesystem::create_directories(dir, made);
    if (!IsFolder(dir)) {
        std::fprintf(stderr, "ulvane-cli: the plan's folder %s cannot be made\n", dir.c_str());
        return std::nullopt;
    }
    std::atomic<bool> never{false};
    std::string why;
    PartPlan plan;
    const PartsPlan parts = PlanParts(job, r.chunks, never, why);
    plan.parts = parts.pictures;
    plan.sound = parts.sound;
    if (plan.parts.empty()) {
        std::fprintf(stderr, "ulvane-cli: no parts could be planned: %s\n", why.c_str());
        return std::nullopt;
    }
    plan.output = Absolute(job.outputPaths[0]);
    plan.extension = Extension(plan.output);
    plan.fingerprint = PartFingerprint(words, SourceIdentities(job), plan);
    if (!WriteFileAtomically(Joined(dir, kPlanFileName), PlanText(plan), why)) {
        std::fprintf(stderr, "ulvane-cli: the plan cannot be written into %s: %s\n", dir.c_str(), why.c_str());
        return std::nullopt;
    }
    if (static_cast<int>(plan.parts.size()) < r.chunks)
        std::fprintf(stderr, "note: %zu part%s of pictures, as the sources have no more key frames to cut at\n",
                     plan.parts.size(), plan.parts.size() == 1 ? "" : "s");
    return plan;
}

// Why a part's file is not there to be joined, or "" when it is: missing, unfinished (its part
// file is there) or made for another plan (a file of that part with another fingerprint).
std::string PartProblem(const std::string& dir, const std::string& name, const std::string& prefix) {
    const std::string path = Joined(dir, name);
    if (IsFile(path)) return "";
    if (IsFile(path + ".part")) return name + " is unfinished (its job is running, or was stopped)";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
        const std::string other = entry.path().filename().string();
        if (other.rfind(prefix, 0) == 0 && other.find(".part") == std::string::npos)
            return name + " is missing; " + other + " there was made for other settings or sources";
    }
    return name + " is missing";
}

// Joins the plan's parts into its output; the exit status.
int JoinPlannedParts(const PartPlan& plan, const std::string& dir, const std::string& output) {
    std::vector<std::string> problems;
    std::vector<std::string> pictures;
    for (size_t k = 0; k < plan.parts.size(); ++k) {
        pictures.push_back(Joined(dir, PicturesFileName(plan, k)));
        const std::string why = PartProblem(dir, PicturesFileName(plan, k), PicturesFilePrefix(k));
        if (!why.empty()) problems.push_back("part " + std::to_string(k) + ": " + why);
    }
    const std::string sound = plan.sound ? Joined(dir, SoundFileName(plan)) : "";
    if (std::string why = plan.sound ? PartProblem(dir, SoundFileName(plan), kSoundFilePrefix) : ""; !why.empty())
        problems.push_back("sound: " + why);
    if (!problems.empty()) {
        for (const std::string& p : problems) std::fprintf(stderr, "ulvane-cli: assemble: %s\n", p.c_str());
        std::fprintf(stderr, "ulvane-cli: assemble: nothing was made; run the plan's jobs (batch --skip-done)\n");
        return 1;
    }
    std::string made;
    const Status joined = JoinParts(pictures, sound, output, made);
    if (!joined.ok()) {
        std::fprintf(stderr, "ulvane-cli: assemble: %s\n", joined.reason().c_str());
        return 1;
    }
    std::printf("%s\n", made.c_str());
    return 0;
}

// Runs `self batch LIST --jobs M --quiet`, its standard output read and kept from ours; a stop
// of ours is passed on. As each of the `jobs` jobs ends, a progress line goes to standard error
// unless `quiet`. True when every job made its part; the failed ones' result lines in `failures`.
bool RunPartsBatch(const std::string& list, int atOnce, size_t jobs, bool quiet, std::string& failures) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return false;
    const pid_t pid = StartChild({SelfPath(), "batch", list, "--jobs", std::to_string(atOnce), "--quiet"}, out[1], -1);
    ::close(out[1]);
    if (pid < 0) {
        ::close(out[0]);
        return false;
    }
    std::string text;
    size_t ended = 0;
    bool told = false;
    for (;;) {
        if (g_stopParts && !told) {
            ::kill(pid, SIGINT);
            told = true;
        }
        pollfd fd{out[0], POLLIN, 0};
        if (::poll(&fd, 1, 200) <= 0) continue;
        char buf[4096];
        const ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n > 0) text.append(buf, static_cast<size_t>(n));
        if (n == 0 || (n < 0 && errno != EINTR)) break;
        // A result line a job.
        for (size_t end; (end = text.find('\n')) != std::string::npos; text.erase(0, end + 1)) {
            const std::string line = text.substr(0, end);
            if (line.rfind("failed ", 0) == 0) failures += (failures.empty() ? "" : "; ") + line;
            if (!quiet && !g_stopParts) std::fprintf(stderr, "jobs of the parts: %zu of %zu ended\n", ++ended, jobs);
        }
    }
    ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// --chunks on this machine: plan into a folder beside the output, make the parts as a batch,
// join them, and remove the folder.
int RunHere(const ConversionJob& job, const Request& r, const std::vector<std::string>& words) {
    const std::string output = job.outputPaths[0];
    const std::string dir =
        Joined(std::filesystem::path(Absolute(output)).parent_path().string(),
               "." + std::filesystem::path(output).filename().string() + ".parts-" + std::to_string(::getpid()));
    const auto removeDir = [&] {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    };
    const std::optional<PartPlan> plan = MakePlan(job, r, words, dir);
    if (!plan) {
        removeDir();
        return 1;
    }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const int atOnce = r.jobs > 0 ? r.jobs : static_cast<int>(cores);
    // The parts made at once share the cores: each encoder takes its share of them.
    const int threads = std::max(1, static_cast<int>(cores) / atOnce);
    std::string list;
    const std::vector<std::string> lines = JobLines(words, *plan, dir, threads);
    for (const std::string& line : lines) list += line + "\n";
    const std::string listPath = Joined(dir, "jobs.txt");
    std::string why;
    if (!WriteFileAtomically(listPath, list, why)) {
        std::fprintf(stderr, "ulvane-cli: the jobs cannot be written into %s: %s\n", dir.c_str(), why.c_str());
        removeDir();
        return 1;
    }
    struct sigaction stop {};
    stop.sa_handler = OnStopParts;
    ::sigaction(SIGINT, &stop, nullptr);
    ::sigaction(SIGTERM, &stop, nullptr);
    if (!r.quiet) std::fprintf(stderr, "%s, %d at a time, in %s\n", PartsText(*plan).c_str(), atOnce, dir.c_str());
    const auto begin = std::chrono::steady_clock::now();
    std::string failures;
    const bool allMade = RunPartsBatch(listPath, atOnce, lines.size(), r.quiet, failures);
    if (g_stopParts || !allMade) {
        removeDir();
        if (g_stopParts) {
            std::fprintf(stderr, "ulvane-cli: stopped; the unfinished output was removed\n");
            return 1;
        }
        std::fprintf(stderr, "ulvane-cli: a part could not be made (%s); nothing was made\n",
                     failures.empty() ? "no reason given" : failures.c_str());
        return 1;
    }
    const auto encoded = std::chrono::steady_clock::now();
    const int result = JoinPlannedParts(*plan, dir, output);
    if (!r.quiet && result == 0)
        std::fprintf(stderr, "note: parts made in %.1f s, joined in %.2f s\n",
                     std::chrono::duration<double>(encoded - begin).count(),
                     std::chrono::duration<double>(std::chrono::steady_clock::now() - encoded).count());
    removeDir();
    return result;
}

}  // namespace

bool InParts(const Request& r) {
    return r.chunks > 0 || !r.chunk.empty();
}

int RunInParts(ConversionJob& job, const Request& r, const std::vector<std::string>& launchWords) {
    const std::vector<std::string> words = AbsoluteWords(launchWords, job);
    if (!r.chunk.empty()) return RunPlannedPart(job, r, words);
    if (r.planDir.empty()) return RunHere(job, r, words);
    const std::string dir = Absolute(r.planDir);
    const std::optional<PartPlan> plan = MakePlan(job, r, words, dir);
    if (!plan) return 1;
    for (const std::string& line : JobLines(words, *plan, dir, 0)) std::printf("%s\n", line.c_str());
    if (!r.quiet)
        std::fprintf(stderr, "note: %s; then: ulvane-cli assemble %s\n", PartsText(*plan).c_str(),
                     ShellLine({dir}).c_str());
    return 0;
}

int Assemble(const Request& r) {
    const std::string& dir = r.sources[0];
    if (!IsFolder(dir)) return UsageError("DIR is not a folder: " + dir, "assemble");
    const std::optional<PartPlan> plan = LoadPlan(dir, "assemble");
    if (!plan) return 1;
    return JoinPlannedParts(*plan, dir, plan->output);
}

}  // namespace ulvane::cli
