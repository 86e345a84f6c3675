// Console prompts driven through pipes in a child process: what the operator sees, the
// answers taken, the retries, and the end of input.
#include "console/ui.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace {

struct Session {
    std::string out, err;
    int status = -1;
};

std::string drain(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    close(fd);
    return text;
}

// Runs the asks in order in a child whose standard input is the given text; the child
// prints their joined answers after a "=" and ends through MyExit.
Session drive(const std::string &input, std::initializer_list<std::function<std::string()>> asks) {
    int in[2], out[2], err[2];
    EXPECT_EQ(pipe(in) | pipe(out) | pipe(err), 0);
    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
        std::string answers;
        for (const auto &ask : asks) answers += ask();
        std::printf("=%s", answers.c_str());
        MyExit(0);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    EXPECT_EQ(write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    close(in[1]);
    Session s;
    s.out = drain(out[0]);
    s.err = drain(err[0]);
    int status = 0;
    waitpid(child, &status, 0);
    s.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return s;
}

std::string getString() {
    char answer[UI_ANSWER_SIZE];
    GetString("Log file?", "x.log", answer);
    return std::string(answer) + ";";
}
std::string yes() {
    return std::to_string(Confirm("Go on?", 1));
}
std::string no() {
    return std::to_string(Confirm("Go on?", 0));
}
std::string count() {
    int value = 12345;
    GetIntOrAll("How many?", 30, &value);
    return std::to_string(value) + ";";
}

TEST(UiPrompts, DefaultsAndAnswers) {
    Session s = drive("  My Logs/a.log \n \t\nlast", {getString, getString, getString});
    EXPECT_EQ(s.out,
              "Log file?\n[x.log] Log file?\n[x.log] Log file?\n[x.log] "
              "=My Logs/a.log;x.log;last;");
    EXPECT_EQ(s.status, 0);

    // A line longer than 1023 characters is cut there; its rest is the next answer.
    s = drive(std::string(1100, 'a') + "\n", {getString, getString});
    EXPECT_EQ(s.out.substr(s.out.find('=')),
              "=" + std::string(1023, 'a') + ";" + std::string(77, 'a') + ";");

    s = drive("\n\nYup\nNo\nnope\n", {yes, no, no, yes, yes});
    EXPECT_EQ(s.out.substr(0, 40), "Go on? (Y or N)\n[Y] Go on? (Y or N)\n[N] ");
    EXPECT_EQ(s.out.substr(s.out.find('=')), "=10100");

    s = drive("\nALL\nAll\n007\n25 please\n", {count, count, count, count, count});
    EXPECT_EQ(s.out.substr(0, 16), "How many?\n[30] H");
    EXPECT_EQ(s.out.substr(s.out.find('=')), "=30;-2;-2;7;25;");
}

TEST(UiPrompts, RetriesOnWrongAnswers) {
    Session s = drive("1\ny\n", {no});
    EXPECT_EQ(s.out,
              "Go on? (Y or N)\n[N] Please enter Y or N (for Yes or No).\n"
              "Go on? (Y or N)\n[N] =1");
    s = drive("allow\n-5\n99999999999\n8\n", {count});
    std::string again = "How many?\n[30] Please enter a whole number or ALL.\n";
    EXPECT_EQ(s.out, again + again + again + "How many?\n[30] =8;");
}

TEST(UiPrompts, EndOfInputAbortsTheSession) {
    Session s = drive("y\n", {yes, count});
    EXPECT_EQ(s.status, 1);
    EXPECT_EQ(s.out, "Go on? (Y or N)\n[Y] How many?\n[30] ");
    EXPECT_EQ(s.err, "Session aborted! No configuration file written.\n");
}

}  // namespace
