// The built tool, run as its users run it: in a fresh directory, with its
// standard output, standard error, exit status and output files compared
// byte for byte.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "support.hpp"

namespace fs = std::filesystem;

namespace {

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return q + "'";
}

// The tool under test: the build's own binary, or the command that
// QVZ2PNG_COMMAND names (the Windows build under Wine, say). QVZ2PNG_WINDOWS=1
// says that it writes its console text through a stream that turns each line
// feed into a carriage return and a line feed.
std::string tool_command() {
  const char* command = std::getenv("QVZ2PNG_COMMAND");
  return command ? command : quoted(QVZ2PNG_BINARY);
}

// A shell command with the tool in place of the word TOOL.
std::string with_tool(std::string command) {
  command.replace(command.find("TOOL"), 4, tool_command());
  return command;
}

// Line n (from 0) of a text, without its line feed.
std::string line_of(const std::string& text, int n) {
  std::size_t begin = 0;
  for (int i = 0; i < n && begin != std::string::npos; ++i) {
    begin = text.find('\n', begin);
    begin += begin != std::string::npos;
  }
  return begin == std::string::npos ? "" : text.substr(begin, text.find('\n', begin) - begin);
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
  return text;
}

bool on_windows() {
  const char* windows = std::getenv("QVZ2PNG_WINDOWS");
  return windows && std::string(windows) == "1";
}

// Standard output as the console receives the tool's messages.
std::string console(const std::string& messages) {
  if (!on_windows()) {
    return messages;
  }
  std::string out;
  for (char c : messages) {
    out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  }
  return out;
}

// An absolute path as the tool's platform spells it: Wine shows the root of
// the Linux file system as drive Z:.
std::string absolute_arg(const fs::path& path) {
  std::string arg = fs::absolute(path).string();
  if (on_windows()) {
    std::replace(arg.begin(), arg.end(), '/', '\\');
    arg = "Z:" + arg;
  }
  return arg;
}

struct tool_run {
  int status = -1;
  std::string out;
  std::string err;
  std::map<std::string, bytes> files;  // everything in the directory after
};

// Runs the tool in dir with the given arguments, after the shell text
// prelude (a pipe into it, a limit to set), when one is given.
tool_run run_tool(const fs::path& dir, const std::vector<std::string>& args,
                  const std::string& prelude = "") {
  const fs::path capture = fs::temp_directory_path() / ("qvz2png-cli-" + std::to_string(getpid()));
  const fs::path out = capture.string() + ".out";
  const fs::path err = capture.string() + ".err";
  std::string command = "cd " + quoted(dir.string()) + " && " + prelude + " " + tool_command();
  for (const std::string& arg : args) {
    command += " " + quoted(arg);
  }
  command += " >" + quoted(out.string()) + " 2>" + quoted(err.string());
  tool_run run;
  for (int tries = on_windows() ? 2 : 1; tries > 0; --tries) {
    int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = read_file(out);
    run.err = read_file(err);
    // The tool always prints something; Wine that fails to start it now
    // and then does not. Once more, then the failure stands.
    if (!run.out.empty() || tries == 1) {
      break;
    }
    std::printf("Wine printed nothing (status %d); again. Its standard error:\n%s\n", run.status,
                run.err.c_str());
  }
  fs::remove(out);
  fs::remove(err);
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (entry.path().filename().string().rfind("DMP", 0) == 0) {
      run.files[entry.path().filename().string()] =
          entry.is_regular_file() ? read_bytes(entry.path()) : bytes{};
    }
  }
  return run;
}

const bytes one = png();
const bytes other = png(text("other pixels"));

// The shell text that preloads a shim of the tests' into the tool, with
// the variables that tell it what to do.
std::string preloaded(const char* shim, const std::string& variables) {
  return "ASAN_OPTIONS=verify_asan_link_order=0 " + variables + " LD_PRELOAD=" + quoted(shim);
}

// The scratch directory as most cases want it: the container as c.qvz,
// and beside it an empty run/ for the tool to work in.
void lay_out_run(const bytes& container) {
  fs::create_directory("run");
  write_file("c.qvz", container);
}

// What a run must have printed, returned and left in its directory; it
// never writes to standard error.
void expect_run(const tool_run& run, const std::string& out, int status,
                const std::map<std::string, bytes>& files) {
  EXPECT_EQ(run.out, out);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, status);
  EXPECT_EQ(run.files, files);
}

const std::string usage =
    "QVZ to PNG converter. 1.0.0\r\n"
    "Get png files from qvz files or other database. No Encryped file.\r\n"
    " If you see the header of the png in the binary, probably it will work.\r\n"
    "usage : qvz2png.exe E:\\example_folder\\example.qvz \r\n";

std::string summary(int images, int testcount) {
  return "Finished " + std::to_string(images) +
         " pngs(everything).testcount:" + std::to_string(testcount) + ".\r\n";
}

struct cli_case {
  const char* name;
  std::vector<std::string> args;
  const bytes* container;  // written beside the run, when given
  std::string out;
  int status;
  std::map<std::string, bytes> outputs;
  const char* saved_as = "c.qvz";  // where the container is written
};

TEST(cli, runs_as_documented) {
  const bytes two = one + other;
  const bytes truncated(one.begin(), one.end() - 6);
  const bytes rescan = bytes{137, 80} + one;
  const bytes empty;
  std::vector<cli_case> cases = {
      {"no argument", {}, nullptr, usage, 0, {}},
      {"unknown option",
       {"--frobnicate"},
       nullptr,
       "Cannot open this file : --frobnicate\r\n",
       1,
       {}},
      {"a file named as a request for help",
       {"--help"},
       &one,
       "Started png file     1.\r\nFINISHED.\r\n" + summary(1, 2),
       0,
       {{"DMP00001.png", one}},
       "run/--help"},
      {"missing container", {"nope.qvz"}, nullptr, "Cannot open this file : nope.qvz\r\n", 1, {}},
      // Windows names it as the system code page (1252 here) renders it.
      {"missing container named in other scripts",
       {"nope-画像-café.qvz"},
       nullptr,
       on_windows() ? "Cannot open this file : nope-\?\?-caf\xe9.qvz\r\n"
                    : "Cannot open this file : nope-画像-café.qvz\r\n",
       1,
       {}},
      {"empty container", {"../c.qvz"}, &empty, "FINISHED.\r\n" + summary(0, 1), 0, {}},
      {"one png",
       {"../c.qvz"},
       &one,
       "Started png file     1.\r\nFINISHED.\r\n" + summary(1, 2),
       0,
       {{"DMP00001.png", one}}},
      {"further arguments ignored",
       {"../c.qvz", "nope.qvz", "-x"},
       &one,
       "Started png file     1.\r\nFINISHED.\r\n" + summary(1, 2),
       0,
       {{"DMP00001.png", one}}},
      {"two back to back",
       {"../c.qvz"},
       &two,
       "Started png file     1.\r\nStarted png file     2.\r\nFINISHED.\r\n" + summary(2, 3),
       0,
       {{"DMP00001.png", one}, {"DMP00002.png", other}}},
      {"truncated",
       {"../c.qvz"},
       &truncated,
       "Started png file     1.\r\nERROR!!!\r\nFINISHED.\r\n" + summary(1, 1),
       0,
       {{"DMP00001.png", truncated}}},
      {"137 that breaks a match starts the next",
       {"../c.qvz"},
       &rescan,
       "Started png file     1.\r\nFINISHED.\r\n" + summary(1, 3),
       0,
       {{"DMP00001.png", one}}},
  };
  for (const char* ask : {"--help", "-h", "-?", "/?", "--version", "-V"}) {
    cases.push_back({ask, {ask}, nullptr, usage, 0, {}});
  }
  for (const cli_case& c : cases) {
    SCOPED_TRACE(c.name);
    scratch_dir dir;
    fs::create_directory("run");
    if (c.container) {
      write_file(c.saved_as, *c.container);
    }
    tool_run run = run_tool(dir.path / "run", c.args);
    expect_run(run, console(c.out), c.status, c.outputs);
    std::size_t beside = 0;  // nothing is written outside the working directory
    for (const auto& entry : fs::directory_iterator(dir.path)) {
      beside += entry.path().filename() != "run" && entry.path().filename() != "c.qvz";
    }
    EXPECT_EQ(beside, 0u);
  }
}

TEST(cli, reports_a_directory_container_as_a_failure) {
  scratch_dir dir;
  fs::create_directory("run");
  fs::create_directory("container");
  tool_run run = run_tool(dir.path / "run", {"../container"});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.out == console("ERROR!\r\n" + summary(0, 1)) ||
              run.out == console("Cannot open this file : ../container\r\n"))
      << run.out;
  EXPECT_TRUE(run.files.empty());
}

// Outputs that cannot be created or written in full end the run with
// status 2, leaving what was complete before and nothing of the failed one
// (or saying that it stays).
TEST(cli, stops_at_an_output_that_cannot_be_used) {
  const bytes big = png(repeat('x', 5000));
  const std::string first_fails = "Output path DMP00001.png is not available.\r\n";
  const std::string second_fails =
      "Started png file     1.\r\nStarted png file     2.\r\n"
      "Output path DMP00002.png is not available.\r\n";
  struct output_case {
    const char* name;
    std::string dir;   // where the tool runs, under the scratch directory or absolute
    const char* link;  // DMP00002.png made a symbolic link to this
    std::string prelude;
    std::string out;
    std::map<std::string, bytes> outputs;
  };
  const output_case cases[] = {
      {"disk full", "run", "/dev/full", "", second_fails, {{"DMP00001.png", one}}},
      {"file size limit",
       "run",
       nullptr,
       "ulimit -f 4 && trap '' XFSZ &&",
       second_fails,
       {{"DMP00001.png", one}}},
      {"file size limit, its signal at the default action",
       "run",
       nullptr,
       "ulimit -f 4 && trap - XFSZ &&",
       second_fails,
       {{"DMP00001.png", one}}},
      {"directory that takes no files", "/proc", nullptr, "", first_fails, {}},
      {"disk full, and the incomplete file cannot be removed",
       "run",
       "/dev/full",
       preloaded(QVZ2PNG_OUTPUT_FAULTS, "QVZ2PNG_KEEP_NAME=DMP00002.png"),
       second_fails + "Output path DMP00002.png is incomplete and could not be removed.\r\n",
       {{"DMP00001.png", one}, {"DMP00002.png", {}}}},
  };
  for (const output_case& c : cases) {
    // A link to a device is no Windows file, and a Linux signal would end
    // Wine itself, where Windows knows no such signal.
    if ((c.link || c.prelude.find("trap -") != std::string::npos) && on_windows()) {
      continue;
    }
    SCOPED_TRACE(c.name);
    scratch_dir dir;
    lay_out_run(one + big + other);
    if (c.link) {
      fs::create_symlink(c.link, "run/DMP00002.png");
    }
    const fs::path where = c.dir[0] == '/' ? fs::path(c.dir) : dir.path / c.dir;
    tool_run run = run_tool(where, {(dir.path / "c.qvz").string()}, c.prelude);
    expect_run(run, console(c.out), 2, c.outputs);
  }
}

// Started in surroundings that would kill the run or corrupt its images or
// its container: no signal ends it, every image comes out whole (or none,
// where the report would go into the container), and the status says
// whether the report reached its reader.
TEST(cli, carves_whatever_its_standard_streams_are) {
  struct surroundings_case {
    const char* name;
    std::string command;  // run in run/, with TOOL for the tool; the container is ../c.qvz
    int status;
    const char* report;  // the file that must hold the tool's report, when one must
    std::string out;
    bool many_images;  // whether all the container's images must come out,
                       // or none, and no file in run/ but the report
    // Wine hands a process its Linux descriptors: closed ones it fills in
    // itself, and a redirected one it gives no file identity.
    bool on_windows;
  };
  bytes container;
  std::map<std::string, bytes> images;
  for (int n = 1; n <= 4000; ++n) {
    images[output_name(n)] = png(text(std::to_string(n)));
    container = container + images[output_name(n)];
  }
  const std::string untouched(container.begin(), container.end());
  const std::string sys_file = "/sys/devices/system/cpu/online";
  const surroundings_case cases[] = {
      {"a /sys file larger by its size than its contents", "TOOL " + sys_file + " >../out", 0,
       "../out", "FINISHED.\r\n" + summary(0, static_cast<int>(read_file(sys_file).size()) + 1),
       false, false},
      {"standard output a pipe its reader closes after 10 bytes",
       "{ TOOL ../c.qvz; echo $? >../status; } | head -c 10 >/dev/null; exit $(cat ../status)", 1,
       nullptr, "", true, false},
      {"standard input and output closed", "TOOL ../c.qvz <&- >&-", 1, nullptr, "", true, false},
      {"standard output redirected to the first output", "TOOL ../c.qvz >DMP00001.png", 2,
       "DMP00001.png", "Output path DMP00001.png is not available.\r\n", false, false},
      {"standard output the container, read and written", "TOOL ../c.qvz 1<>../c.qvz", 2,
       "../c.qvz", untouched, false, false},
      {"standard output the container, appended to", "TOOL ../c.qvz >>../c.qvz", 2, "../c.qvz",
       untouched, false, false},
      {"/dev/stdin with standard input closed", "TOOL /dev/stdin <&- >../out", 1, "../out",
       "Cannot open this file : /dev/stdin\r\n", false, false},
  };
  for (const surroundings_case& c : cases) {
    if (on_windows() && !c.on_windows) {
      continue;
    }
    SCOPED_TRACE(c.name);
    scratch_dir dir;
    lay_out_run(container);
    const int raw = std::system(("cd run && " + with_tool(c.command)).c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, c.status);
    if (c.report) {
      EXPECT_EQ(read_file(fs::path("run") / c.report), console(c.out));
    }
    std::map<std::string, bytes> files;
    for (const auto& entry : fs::directory_iterator("run")) {
      files[entry.path().filename().string()] = read_bytes(entry.path());
    }
    if (c.many_images) {
      EXPECT_TRUE(files == images) << files.size() << " files";
    } else {
      files.erase(c.report ? c.report : "");
      EXPECT_TRUE(files.empty()) << files.size() << " files";
    }
  }
}

// A loop device over file, its name also in ./dev; "" where this machine
// has none to give (with the reason in *why).
std::string loop_device(const char* file, std::string* why) {
  *why = "no loop device here (needs root and losetup; not on Windows)";
  const std::string attach = "losetup --find --show " + std::string(file) + " >dev 2>/dev/null";
  if (on_windows() || std::system(attach.c_str()) != 0) {
    return std::string();
  }
  std::string device = read_file("dev");
  device.pop_back();  // the line feed
  return device;
}

// Run where the first output name refers to the container itself, whatever
// kind of file it is, or to a disk, or comes to refer to the container just
// before it is opened: the tool stops before writing a byte into it.
TEST(cli, never_writes_over_its_container) {
  struct own_case {
    const char* name;
    std::string prelude;  // shell text before the tool
    // Lays the container out in the working folder; returns the argument that
    // names it, or "" where this machine cannot (with the reason in *why).
    std::string (*lay_out)(const bytes& container, std::string* why);
    const char* kept;  // the file that must still hold the container after;
                       // the tool runs in its folder
  };
  const own_case cases[] = {
      {"file named as the output", "",
       [](const bytes& container, std::string*) {
         write_file("DMP00001.png", container);
         return std::string("DMP00001.png");
       },
       "DMP00001.png"},
      {"FIFO named as the output", "(cat c.qvz > DMP00001.png &) &&",
       [](const bytes& container, std::string* why) {
         write_file("c.qvz", container);
         *why = "a FIFO is no Windows file";
         return on_windows() || std::system("mkfifo DMP00001.png") != 0
                    ? std::string()
                    : std::string("DMP00001.png");
       },
       "c.qvz"},
      {"file named as the output, in a folder named in other scripts", "",
       [](const bytes& container, std::string*) {
         write_file("画像/DMP00001.png", container);
         return absolute_arg(fs::current_path() / "画像" / "DMP00001.png");
       },
       "画像/DMP00001.png"},
      {"disk device reached through a link to it", "",
       [](const bytes& container, std::string* why) {
         write_file("disk.img", repeat(0, 4096) + container + repeat(0, 4096));
         const std::string device = loop_device("disk.img", why);
         if (!device.empty()) {
           fs::create_symlink(device, "DMP00001.png");
         }
         return device;
       },
       "disk.img"},
      {"file, with a loop device over it named as the output", "",
       [](const bytes& container, std::string* why) {
         write_file("disk.img", repeat(0, 4096) + container + repeat(0, 4096));
         const std::string device = loop_device("disk.img", why);
         if (device.empty()) {
           return device;
         }
         fs::create_symlink(device, "DMP00001.png");
         return std::string("disk.img");
       },
       "disk.img"},
      {"taken name swapped for a link to the container just before the open",
       preloaded(QVZ2PNG_OUTPUT_FAULTS, "QVZ2PNG_SWAP_NAME=DMP00001.png QVZ2PNG_SWAP_TO=c.qvz"),
       [](const bytes& container, std::string* why) {
         write_file("c.qvz", container);
         write_file("DMP00001.png", text("an older file"));
         *why = "the shim is Linux's";
         return on_windows() ? std::string() : std::string("c.qvz");
       },
       "c.qvz"},
  };
  const bytes container = text("head") + one + other;
  for (const own_case& c : cases) {
    SCOPED_TRACE(c.name);
    scratch_dir dir;
    std::string why;
    fs::create_directory("画像");
    const std::string arg = c.lay_out(container, &why);
    if (arg.empty()) {
      std::printf("skipped \"%s\": %s\n", c.name, why.c_str());
      continue;
    }
    const bytes kept = read_bytes(c.kept);
    tool_run run = run_tool((dir.path / c.kept).parent_path(), {arg}, c.prelude);
    if (fs::exists("dev")) {
      EXPECT_EQ(std::system("losetup -d \"$(cat dev)\""), 0);
    }
    EXPECT_EQ(run.out, console("Output path DMP00001.png is not available.\r\n"));
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(read_bytes(c.kept), kept);
  }
}

// Containers named in scripts other than the system's, in a folder named so
// too, given by relative and by absolute paths: each carves just as a copy
// with an ASCII name does.
TEST(cli, opens_containers_named_in_any_script) {
  const std::string names[] = {"画像データ.qvz", "Картинки.qvz", "εικόνες.qvz", "📷 photos.qvz"};
  scratch_dir dir;
  const fs::path folder = dir.path / "フォルダ";
  fs::create_directory(folder);
  const bytes sample = read_bytes(fs::path(QVZ2PNG_SAMPLES) / "sample.qvz");
  write_file(folder / "ascii.qvz", sample);
  fs::create_directory("ascii");
  const tool_run ascii = run_tool(dir.path / "ascii", {"../フォルダ/ascii.qvz"});
  ASSERT_EQ(ascii.status, 0);
  ASSERT_EQ(ascii.files.size(), 3u);
  int n = 0;
  for (const std::string& name : names) {
    write_file(folder / name, sample);
    for (const std::string& arg : {"../フォルダ/" + name, absolute_arg(folder / name)}) {
      SCOPED_TRACE(arg);
      const fs::path run_dir = dir.path / ("run" + std::to_string(n++));
      fs::create_directory(run_dir);
      tool_run run = run_tool(run_dir, {arg});
      expect_run(run, ascii.out, 0, ascii.files);
    }
  }
}

// Containers that are not regular files are read through the buffer.
TEST(cli, reads_a_pipe_and_a_fifo) {
  struct stream_case {
    const char* name;
    const char* arg;
    const char* prelude;
    bool on_windows;  // /dev/stdin is no Windows path
  };
  const stream_case cases[] = {
      {"pipe into /dev/stdin", "/dev/stdin", "cat ../c.qvz |", false},
      {"fifo", "../fifo", "(cat ../c.qvz > ../fifo &) &&", true},
  };
  for (const stream_case& c : cases) {
    if (on_windows() && !c.on_windows) {
      continue;
    }
    SCOPED_TRACE(c.name);
    scratch_dir dir;
    lay_out_run(text("head") + one);
    ASSERT_EQ(std::system("mkfifo fifo"), 0);
    tool_run run = run_tool(dir.path / "run", {c.arg}, c.prelude);
    EXPECT_EQ(run.out, console("Started png file     1.\r\nFINISHED.\r\n" + summary(1, 6)));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.files, (std::map<std::string, bytes>{{"DMP00001.png", one}}));
  }
}

// The shell text that preloads the read-failing shim into the tool: mapped
// windows fail to read in (populate "1": all, "2": every second one), and
// the page that holds offset bad_at cannot be read, as on a damaged disk.
std::string failing_reads(const std::string& populate, std::size_t bad_at) {
  return preloaded(QVZ2PNG_FAIL_READS, "QVZ2PNG_FAIL_POPULATE=" + populate +
                                           " QVZ2PNG_BAD_PAGE=" + std::to_string(bad_at));
}

// Standard output of a run that did what the model did.
std::string report_of(const carve_run& model) {
  return model.messages + summary(static_cast<int>(model.state.image_count),
                                  static_cast<int>(model.state.testcount));
}

// Reading that fails part way, as on a disk with a bad sector: the scan
// ends with "ERROR!" (after "ERROR!!!" when an image was cut), the summary,
// status 1, and every byte before the bad page carved as ever, though the
// read or the window that met the bad page began long before it.
TEST(cli, reports_a_read_error_part_way) {
  if (on_windows()) {
    GTEST_SKIP() << "the failing reads are injected into Linux's C library";
  }
  // The first image lies across the page boundary at 61440.
  const bytes container = repeat(7, 61400) + one + repeat(0, 5000) + png(repeat('x', 90000));
  struct bad_page_case {
    const char* name;
    const char* populate;  // "1": every window is read into the buffer instead
    std::size_t bad_at;
  };
  const bad_page_case cases[] = {
      {"in the filler, in a mapped window", "0", 20000},
      {"in the filler, read into the buffer", "1", 20000},
      {"inside the first image", "1", 61450},
      {"in the gap after a whole image", "0", 65536},
      {"inside the last image", "0", container.size() - 100},
  };
  for (const auto& [name, populate, bad_at] : cases) {
    SCOPED_TRACE(name);
    scratch_dir dir;
    lay_out_run(container);
    tool_run run = run_tool(dir.path / "run", {"../c.qvz"}, failing_reads(populate, bad_at));
    carve_run model = model_carve(container, bad_at / 4096 * 4096);
    expect_run(run, report_of(model), 1, model.files);
  }
}

// Windows that cannot be read in, or are not in memory yet, are read
// through the buffer instead, and the mapping resumes after them: images
// across every such seam come out whole. Asking ahead of the reading
// changes nothing, where the container ends inside what was asked for and
// where the system refuses to be asked; nor does being told wrong whether a
// window is in memory.
TEST(cli, carves_across_mapped_and_read_stretches) {
  if (on_windows()) {
    GTEST_SKIP() << "the failing page-ins are injected into Linux's C library";
  }
  const std::size_t window = input_options{}.window_size;
  const bytes image = png(repeat('x', 300000));
  bytes seams;
  for (std::size_t seam = window; seam < 5 * window; seam += window) {
    seams = seams + repeat(0, seam - 100 - seams.size()) + image;
  }
  const bytes short_one = repeat(3, 5000) + image + repeat(3, 100);
  const std::string cold = preloaded(QVZ2PNG_FAIL_READS, "QVZ2PNG_COLD=1");
  const std::string refused =
      preloaded(QVZ2PNG_FAIL_READS, "QVZ2PNG_COLD=1 QVZ2PNG_REFUSE_ADVICE=1");
  // Windows 1 and 3 out of memory, and the rest in.
  const std::string evicted =
      "sync ../c.qvz && for w in 1 3; do dd if=../c.qvz of=/dev/null iflag=nocache bs=4M "
      "skip=$w count=1 status=none; done; ";
  const std::string lying = preloaded(QVZ2PNG_FAIL_READS, "QVZ2PNG_LIE=1");
  // Copies of the tool and the shim that nobody may run, wherever the build
  // lies; the tool's path comes after the prelude, as $0.
  const std::string as_nobody =
      "cp " + quoted(QVZ2PNG_FAIL_READS) + " ../shim.so && chmod 755 .. ../shim.so && " +
      preloaded("../shim.so", "QVZ2PNG_LIE=1") +
      " sh -c 'cp \"$0\" ../tool && chmod 755 ../tool && exec setpriv --reuid=65534 "
      "--regid=65534 --clear-groups -- ../tool \"$@\"'";
  const struct {
    const char* name;
    const bytes& container;
    std::string prelude;
    int images;
    bool as_nobody = false;  // the tool runs as nobody, which only root can have it do
  } cases[] = {
      {"every second window not read in", seams, failing_reads("2", SIZE_MAX), 4},
      {"not in memory", seams, cold, 4},
      {"not in memory, asking ahead refused", seams, refused, 4},
      {"ending inside what was asked for", short_one, cold, 1},
      {"mapped, asking ahead refused", short_one,
       preloaded(QVZ2PNG_FAIL_READS, "QVZ2PNG_REFUSE_ADVICE=1"), 1},
      {"every second window evicted, and asked whether in memory, told wrong", seams,
       evicted + lying, 4},
      {"the same, for a user who does not own the container", seams,
       evicted + "chmod 777 . && " + as_nobody, 4, true},
  };
  for (const auto& c : cases) {
    if (c.as_nobody && geteuid() != 0) {
      continue;
    }
    SCOPED_TRACE(c.name);
    scratch_dir dir;
    lay_out_run(c.container);
    tool_run run = run_tool(dir.path / "run", {"../c.qvz"}, c.prelude);
    carve_run model = model_carve(c.container);
    EXPECT_EQ(model.state.image_count, c.images);
    expect_run(run, report_of(model), 0, model.files);
  }
}

// A slow run seen at a console: the status line shows on the terminal that
// standard error is (the share read of a file, the bytes read of a pipe),
// and nowhere else; the report is that of any other run, and a console
// holding both streams ends up showing exactly the report's lines, however
// the report reaches it and however it was resized meanwhile. A background
// job draws nothing, and so is never stopped for writing; one stopped with
// Ctrl-Z leaves nothing of the line above the shell's lines.
TEST(cli, shows_how_far_it_has_got_on_a_console_only) {
  struct console_case {
    const char* name;
    std::string command;    // run in run/ on the console, with TOOL for the tool
    const char* line;       // a part of the status line it must show; null: none
    bool report_seen;       // the report's lines end on the screen, or in ../out
    bool on_windows;        // the slow reads are Linux's; a FIFO's pause is not
    const char* console;    // how the console behaves (on_console.py's options)
    bool at_shell = false;  // typed at an interactive shell, whose lines stay on the screen
  };
  const auto slow = [](int ms) {
    return preloaded(QVZ2PNG_FAIL_READS, "QVZ2PNG_SLOW_READS=" + std::to_string(ms)) +
           " TOOL ../c.qvz";
  };
  const std::string slowly = slow(500);
  const std::string pausing =
      "((head -c 5000000 ../c.qvz; sleep 1.5; tail -c +5000001 ../c.qvz) >../fifo &) && "
      "TOOL ../fifo";
  // Drawn wide after 1.2 s, and narrow after 2.5 s, with the console
  // narrowed in between.
  const std::string narrowed =
      "(head -c 2000000 ../c.qvz; sleep 1.2; tail -c +2000001 ../c.qvz | head -c 2000000; "
      "sleep 1.3; tail -c +4000001 ../c.qvz) | TOOL /dev/stdin >../out";
  const console_case cases[] = {
      {"a file, both streams on the console", slowly, "% ", true, false, ""},
      {"a file, the report redirected", slowly + " >../out", " of 12.0 MiB", false, false, ""},
      {"a pipe, the report redirected", pausing + " >../out", " MiB read", false, true, ""},
      {"a pipe, standard error redirected", pausing + " 2>../err", nullptr, true, true, ""},
      {"a pipe, the console narrowed meanwhile", narrowed, " MiB read", false, false,
       "--narrow-after 1.8"},
      {"the report to /dev/tty", slowly + " >/dev/tty", "% ", true, false, "--controlling"},
      {"a background job under tostop", "stty tostop <&2; set -m; " + slowly + " >../out & wait $!",
       nullptr, false, false, "--controlling"},
      {"a file, the console narrowed to 20", slow(1000) + " >../out", "% ", false, false,
       "--narrow-after 1.6 --narrow-to 20"},
      {"a file, the console narrowed to 40", slow(1000) + " >../out", "% ", false, false,
       "--narrow-after 1.6 --narrow-to 40"},
      {"stopped with Ctrl-Z, then run on in the background", slow(1500) + " >../out", "% ", false,
       false, "--suspend-after 2", true},
  };
  bytes container = repeat(7, 4 << 20) + one + repeat(7, 4 << 20) + other;
  container.resize(12 << 20, 7);
  const std::string report = console(report_of(model_carve(container)));
  const std::string lines = replaced(report, "\r", "");
  for (const console_case& c : cases) {
    if (on_windows() && !c.on_windows) {
      continue;
    }
    SCOPED_TRACE(c.name);
    scratch_dir dir;
    lay_out_run(container);
    ASSERT_EQ(std::system("mkfifo fifo"), 0);
    const std::string console = "/usr/bin/python3 " +
                                quoted(QVZ2PNG_TEST_SCRIPTS "/on_console.py") + " " + c.console +
                                " raw screen " + quoted("cd run && " + with_tool(c.command));
    ASSERT_EQ(std::system(console.c_str()), 0) << "needs python3-pyte";
    // The terminal turns each line feed into a carriage return and a line
    // feed; Wine's console draws with escape sequences of its own, and
    // only its screen is judged.
    const std::string raw = read_file("raw");
    const std::string report_alone = c.report_seen ? replaced(report, "\n", "\r\n") : "";
    EXPECT_TRUE(on_windows() ||
                (c.line ? raw.find(c.line) != std::string::npos : raw == report_alone))
        << raw;
    if (c.at_shell) {
      EXPECT_EQ(read_file("screen").find("MiB"), std::string::npos) << read_file("screen");
    } else {
      EXPECT_EQ(read_file("screen"), c.report_seen ? lines : "");
    }
    EXPECT_EQ(read_file("out"), c.report_seen ? "" : report);
    EXPECT_EQ(read_file("err"), "");
  }
}

// A container that another program shortens while the tool reads it: the
// run ends as a read error (or, where the tool was quicker, as usual), never
// by a signal, and every image written is the container's bytes at its
// offset, whole but for the last.
TEST(cli, survives_its_container_shrinking_meanwhile) {
  if (on_windows()) {
    GTEST_SKIP() << "the Windows build reads its container through a stream, not mapped windows";
  }
  bytes container;
  std::vector<bytes> images;
  while (container.size() < std::size_t{256} << 20) {
    images.push_back(png(repeat('x', 100000 + 20000 * images.size())));
    container.resize(container.size() + (std::size_t{6} << 20), 7);
    container.insert(container.end(), images.back().begin(), images.back().end());
  }
  const std::pair<const char*, std::size_t> cuts[] = {
      {"0", 50000000}, {"0.01", 50000000}, {"0.02", 150000000}, {"0.04", 100000000}};
  for (const auto& [delay, size] : cuts) {
    SCOPED_TRACE(testing::Message() << "cut to " << size << " after " << delay << " s");
    scratch_dir dir;
    lay_out_run(container);
    const std::string cut = "(sleep " + std::string(delay) + " && truncate -s " +
                            std::to_string(size) + " ../c.qvz &) &&";
    tool_run run = run_tool(dir.path / "run", {"../c.qvz"}, cut);
    EXPECT_TRUE(run.status == 0 || run.status == 1) << run.status;
    std::size_t n = 0;
    for (const auto& [name, data] : run.files) {
      ASSERT_EQ(name, output_name(static_cast<std::int64_t>(n + 1)));
      ASSERT_LT(n, images.size());
      const bytes& image = images[n++];
      EXPECT_TRUE(data.size() <= image.size() &&
                  std::equal(data.begin(), data.end(), image.begin()))
          << name;
      EXPECT_TRUE(n == run.files.size() || data == image) << name << " is cut but not the last";
    }
  }
}

TEST(cli, fails_when_its_report_cannot_be_written) {
  if (on_windows()) {
    GTEST_SKIP() << "Wine reports no error for a full device";
  }
  scratch_dir dir;
  lay_out_run(one);
  const std::string command = "cd run && " + tool_command() + " ../c.qvz >/dev/full 2>/dev/null";
  int raw = std::system(command.c_str());
  EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1);
  EXPECT_EQ(read_bytes("run/DMP00001.png"), one);
}

// A database written by the SQLite library: the blobs longer than a page
// are split across overflow pages, and each such split ends its own image
// only. Every image lying whole in the file comes out, in order, even those
// among the pages that a split image's chunk length runs on over.
TEST(cli, carves_the_images_of_a_real_database) {
  scratch_dir dir;
  fs::create_directory("run");
  const std::string make =
      "python3 " + quoted(QVZ2PNG_TEST_SCRIPTS "/make_database.py") + " icons.sqlite icons.bin";
  ASSERT_EQ(std::system(make.c_str()), 0) << "needs python3 with its sqlite3 module";
  const bytes db = read_bytes("icons.sqlite");
  std::vector<bytes> images;  // as inserted; each a 4-byte length, then the image
  const bytes listed = read_bytes("icons.bin");
  for (std::size_t at = 0; at + 4 <= listed.size(); at += 4 + images.back().size()) {
    const auto* p = listed.data() + at + 4;
    images.emplace_back(p, p + load_be32(listed.data() + at));
  }
  std::map<std::size_t, const bytes*> whole;  // by offset in the database
  std::vector<const bytes*> split;
  for (const bytes& image : images) {
    auto at = std::search(db.begin(), db.end(), image.begin(), image.end());
    if (at == db.end()) {
      split.push_back(&image);
    } else {
      whole[static_cast<std::size_t>(at - db.begin())] = &image;
    }
  }
  tool_run run = run_tool(dir.path / "run", {"../icons.sqlite"});
  carve_run model = model_carve(db);
  EXPECT_EQ(run.out, console(report_of(model)));
  EXPECT_EQ(run.status, 0);
  ASSERT_EQ(run.files, model.files);
  auto at = db.begin();
  for (const auto& [name, data] : run.files) {
    SCOPED_TRACE(name);
    at = std::search(at, db.end(), data.begin(), data.end());
    const std::size_t offset = static_cast<std::size_t>(at - db.begin());
    ASSERT_TRUE(whole.empty() || whole.begin()->first >= offset) << "a whole image left behind";
    if (!whole.empty() && whole.begin()->first == offset && *whole.begin()->second == data) {
      whole.erase(whole.begin());
      continue;
    }
    // A cut image begins one that the file does not hold whole, and ends
    // before the next whole one, or in its signature's first bytes.
    EXPECT_TRUE(std::any_of(split.begin(), split.end(), [&data](const bytes* image) {
      return data.size() >= 64 && std::equal(data.begin(), data.begin() + 64, image->begin());
    }));
    EXPECT_TRUE(whole.empty() || whole.begin()->first + 8 > offset + data.size())
        << "a whole image inside a cut one";
  }
  EXPECT_TRUE(whole.empty()) << whole.size() << " whole images left behind";
}

TEST(cli, carves_the_shipped_sample) {
  scratch_dir dir;
  const fs::path samples = QVZ2PNG_SAMPLES;
  tool_run run = run_tool(dir.path, {(samples / "sample.qvz").string()});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  std::map<std::string, bytes> expected;
  for (const auto& entry : fs::directory_iterator(samples / "expected")) {
    expected[entry.path().filename().string()] = read_bytes(entry.path());
  }
  EXPECT_EQ(expected.size(), 3u);
  EXPECT_EQ(run.files, expected);
}

// The fenced block of README.md that follows the line "<!-- tested: NAME -->",
// or the one skip blocks after it; "" where there is none.
std::string readme_block(const std::string& name, int skip = 0) {
  const std::string readme = read_file(fs::path(QVZ2PNG_SAMPLES).parent_path() / "README.md");
  std::size_t end = readme.find("<!-- tested: " + name + " -->");
  std::string block;
  for (int i = 0; i <= skip && end != std::string::npos; ++i) {
    const std::size_t begin = readme.find('\n', readme.find("```", end)) + 1;
    end = readme.find("```", begin);
    block = end == std::string::npos ? "" : readme.substr(begin, end - begin);
    end += 3;
  }
  return block;
}

// The images a folder holds, and its report.txt where it has one.
std::map<std::string, bytes> carved_in(const fs::path& folder) {
  std::map<std::string, bytes> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("DMP", 0) == 0 || name == "report.txt") {
      files[name] = read_bytes(entry.path());
    }
  }
  return files;
}

// What README.md shows and its recipes do, run as written with the tool
// found as qvz2png: the example's report, the pipe, many containers at
// once, the cut-off images of a saved report, and a disk (a loop device,
// where this machine gives one).
TEST(cli, does_what_its_readme_shows) {
  const bytes cut(other.begin(), other.end() - 6);
  const bytes images = one + text("more") + cut;
  // Whole sectors, so that a loop device serves all of it.
  const bytes container = repeat(7, 1024 - images.size() % 512) + images;
  const carve_run model = model_carve(container);
  const std::string report = console(report_of(model));
  std::map<std::string, bytes> with_report = model.files;
  with_report["report.txt"] = bytes(report.begin(), report.end());
  const std::string disk = readme_block("disk");
  const std::string drive = readme_block("drive");
  const bool loops = std::system("losetup --find >/dev/null 2>&1") == 0;
  // Wine opens a device that a drive's link in its prefix names as that
  // drive, raw: \\.\Q: is then the loop device.
  const std::string tool = tool_command();
  const std::size_t prefix_at = tool.find("WINEPREFIX=");
  const std::string q_drive =
      prefix_at == std::string::npos
          ? ""
          : tool.substr(prefix_at + 11, tool.find(' ', prefix_at) - prefix_at - 11) +
                "/dosdevices/q::";
  struct readme_case {
    const char* name;
    std::string command;  // run in run/, the container beside it as ../c.qvz
    std::string out;      // what the command prints
    const char* folders;  // a folder of run/ that holds the images; "*": each one in it
    const std::map<std::string, bytes>& files;
    bool runs;
    bool succeeds = true;
  };
  // The pipe's block is bash's; the others run in sh.
  const std::string pipe = "bash -c " + quoted(readme_block("pipe"));
  const std::string deep(100, 'd');
  const carve_run nothing = model_carve({});
  const std::map<std::string, bytes> no_files;
  const readme_case cases[] = {
      {"the example run",
       "mkdir samples && cp " + quoted(QVZ2PNG_SAMPLES "/sample.qvz") + " samples && " +
           readme_block("example run"),
       console(replaced(readme_block("example run", 1), "\n", "\r\n")), nullptr, model.files, true},
      {"carving a download", "URL=\"file://$(pwd)/../c.qvz\" " + pipe, report, ".", model.files,
       !on_windows()},
      {"a download that fails", "URL=\"file://$(pwd)/../missing\" " + pipe + " 2>/dev/null",
       console(report_of(nothing)), ".", no_files, !on_windows(), false},
      {"many containers",
       "mkdir containers && cp ../c.qvz containers/a && cp ../c.qvz containers/b && " +
           readme_block("many containers"),
       "", "carved/*", with_report, !on_windows()},
      {"many containers, a/b beside a_b",
       "mkdir -p containers/a && cp ../c.qvz containers/a/b && cp ../c.qvz containers/a_b && " +
           readme_block("many containers"),
       "", "carved/*", with_report, !on_windows()},
      {"many containers, one of a path over 255 bytes",
       "d=containers/" + deep + "/" + deep + "/" + deep + " && mkdir -p \"$d\" && " +
           "cp ../c.qvz \"$d/c\" && cp ../c.qvz containers/c && " + readme_block("many containers"),
       "", "carved/*", with_report, !on_windows()},
      {"the cut-off images", readme_block("cut off"), "DMP00002.png\n", nullptr, model.files,
       !on_windows()},
      {"a disk, as root",
       "L=$(losetup --find --show ../c.qvz) && (" +
           replaced(replaced(replaced(line_of(disk, 1), "/mnt/other/", ""), "sudo ", ""),
                    "/dev/sdb", "\"$L\" >/dev/null") +
           "); s=$?; losetup -d \"$L\"; exit $s",
       "", "carved", model.files, loops && !on_windows()},
      {"a drive, on Windows, as root",
       "L=$(losetup --find --show ../c.qvz) && ln -s \"$L\" " + q_drive + " && (" +
           replaced(replaced(line_of(drive, 1), "qvz2png.exe", "qvz2png"),
                    "\\\\.\\E:", "'\\\\.\\Q:'") +
           "); s=$?; rm " + q_drive + "; losetup -d \"$L\"; exit $s",
       report, ".", model.files, loops && on_windows()},
  };
  const std::string named =
      on_windows() ? with_tool("qvz2png() { TOOL \"$@\"; }; ")
                   : "PATH=" + quoted(fs::path(QVZ2PNG_BINARY).parent_path()) + ":\"$PATH\" && ";
  for (const readme_case& c : cases) {
    if (!c.runs) {
      continue;
    }
    SCOPED_TRACE(c.name);
    scratch_dir dir;
    lay_out_run(container);
    const std::string command = "cd run && " + named + "{ " + c.command + "\n} >../out";
    EXPECT_EQ(std::system(command.c_str()) == 0, c.succeeds) << command;
    EXPECT_EQ(read_file("out"), c.out);
    if (c.folders == nullptr) {
      continue;
    }
    std::vector<fs::path> folders = {fs::path("run") / c.folders};
    std::set<std::string> containers;  // each folder's, as it names it
    if (folders[0].filename() == "*") {
      folders.assign(fs::directory_iterator(folders[0].parent_path()), fs::directory_iterator());
      EXPECT_EQ(folders.size(), 2u);
      for (const fs::path& folder : folders) {
        containers.insert(read_file(folder / "container.txt"));
      }
      EXPECT_EQ(containers.size(), folders.size());
    }
    for (const fs::path& folder : folders) {
      EXPECT_EQ(carved_in(folder), c.files) << folder;
    }
  }
}

}  // namespace
