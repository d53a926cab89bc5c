// A stand-in for Chipctl in the engine's tests. A test copies it to
// <tmp>/config/CHIPCTL/Chipctl; it answers from the script file beside
// itself and records every run.
//
// Files beside the program:
//   fake.script  rules, one a line: PATTERN <TAB> OPTIONS <TAB> OUTPUT
//                PATTERN is a glob over the arguments joined by single
//                spaces (port name first). Rules with the same pattern form
//                a sequence: the n-th run that matches the pattern uses the
//                n-th rule, the last one repeating. The first pattern (in file
//                order) that matches is used.
//                OPTIONS: "-", or comma-separated sleep=MS (pause before
//                answering), hang (answer, then sleep 2 min), pid (write the
//                process id to last.pid).
//                OUTPUT: printed as is after unescaping \n \r \t \0 \\.
//   calls.log    one line per run: the arguments joined by spaces; a run
//                that found its port busy is recorded as "BUSY " + arguments.
//   fake.state   run counts per pattern.
// A run holds a lock on its port name for its whole life: a second run on the
// same port meanwhile answers like a port that cannot be opened.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fnmatch.h>
#include <fstream>
#include <limits.h>
#include <map>
#include <sstream>
#include <string>
#include <sys/file.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Rule
{
    std::string pattern;
    std::string options;
    std::string output;
};

std::string selfDir()
{
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0)
        return ".";
    std::string p(path, size_t(n));
    const size_t slash = p.rfind('/');
    return slash == std::string::npos ? std::string(".") : p.substr(0, slash);
}

std::string unescape(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        switch (c) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case '0':
            out += '\0';
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::vector<Rule> readScript(const std::string &path)
{
    std::vector<Rule> rules;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        const size_t t1 = line.find('\t');
        const size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
        if (t2 == std::string::npos)
            continue;
        rules.push_back(
            {line.substr(0, t1), line.substr(t1 + 1, t2 - t1 - 1), unescape(line.substr(t2 + 1))});
    }
    return rules;
}

bool hasOption(const std::string &options, const std::string &name, std::string *value = nullptr)
{
    std::stringstream list(options);
    std::string item;
    while (std::getline(list, item, ',')) {
        if (item == name) {
            return true;
        }
        if (item.compare(0, name.size() + 1, name + "=") == 0) {
            if (value)
                *value = item.substr(name.size() + 1);
            return true;
        }
    }
    return false;
}

// Counts this run for `pattern` and returns how many runs matched it before.
long countRun(const std::string &statePath, const std::string &pattern)
{
    std::map<std::string, long> counts;
    {
        std::ifstream in(statePath);
        std::string line;
        while (std::getline(in, line)) {
            const size_t tab = line.rfind('\t');
            if (tab != std::string::npos)
                counts[line.substr(0, tab)] = std::atol(line.c_str() + tab + 1);
        }
    }
    const long before = counts[pattern];
    counts[pattern] = before + 1;
    std::ofstream out(statePath, std::ios::trunc);
    for (const auto &entry : counts)
        out << entry.first << '\t' << entry.second << '\n';
    return before;
}

void writeAll(const std::string &text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(1, text.data() + done, text.size() - done);
        if (n <= 0 && errno != EINTR)
            return;
        if (n > 0)
            done += size_t(n);
    }
}

std::string portLockName(const std::string &port)
{
    std::string name;
    for (char c : port)
        name += (std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
    return name;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string dir = selfDir();
    std::string joined;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            joined += ' ';
        joined += argv[i];
    }
    const std::string port = argc > 1 ? argv[1] : std::string();

    const int portLock =
        open((dir + "/port-" + portLockName(port) + ".lock").c_str(), O_CREAT | O_RDWR, 0644);
    const bool busy = portLock < 0 || flock(portLock, LOCK_EX | LOCK_NB) != 0;

    // The script does not change while the engine runs: it is read before
    // the lock, which is held only for the shared files, so that 24 runs
    // started at once pass it quickly.
    const std::vector<Rule> rules = readScript(dir + "/fake.script");
    const int stateLock = open((dir + "/fake.lock").c_str(), O_CREAT | O_RDWR, 0644);
    flock(stateLock, LOCK_EX);
    {
        std::ofstream calls(dir + "/calls.log", std::ios::app);
        calls << (busy ? "BUSY " : "") << joined << '\n';
    }
    if (busy) {
        flock(stateLock, LOCK_UN);
        writeAll("Fail. Could not open the serial port.");
        return 0;
    }
    const Rule *chosen = nullptr;
    for (const Rule &rule : rules) {
        if (fnmatch(rule.pattern.c_str(), joined.c_str(), 0) == 0) {
            std::vector<const Rule *> sequence;
            for (const Rule &r : rules) {
                if (r.pattern == rule.pattern)
                    sequence.push_back(&r);
            }
            const long n = countRun(dir + "/fake.state", rule.pattern);
            chosen = sequence[size_t(std::min<long>(n, long(sequence.size()) - 1))];
            break;
        }
    }
    flock(stateLock, LOCK_UN);

    if (!chosen) {
        writeAll("Fail. Command execution error.");
        return 0;
    }
    std::string value;
    if (hasOption(chosen->options, "pid")) {
        std::ofstream pid(dir + "/last.pid", std::ios::trunc);
        pid << getpid() << '\n';
    }
    if (hasOption(chosen->options, "sleep", &value))
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(value.c_str())));
    writeAll(chosen->output);
    if (hasOption(chosen->options, "hang"))
        std::this_thread::sleep_for(std::chrono::minutes(2));
    return 0;
}
