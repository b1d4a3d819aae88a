// Pages in the page host (fgpage) on a real display: a trusted page drives
// the component, pages of other origins get nothing unless allowed, the
// component is unloaded at the end, and xdotool plays the user in the real
// chooser opened from a page. Run under Xvfb by ctest.
#include <arpa/inet.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "display_user.h"
#include "fgplatform/test_process.h"
#include "host_folder.h"

namespace {

// An HTTP server on 127.0.0.1 that answers every request with one page.
class PageServer {
 public:
  explicit PageServer(std::string html) : m_html(std::move(html)) {
    m_socket = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(m_socket, reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(m_socket, 8) != 0 ||
        getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &size) != 0)
      return;
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
  }
  ~PageServer() {
    shutdown(m_socket, SHUT_RDWR);
    close(m_socket);
    if (m_thread.joinable()) m_thread.join();
  }
  std::string Origin() const { return "http://127.0.0.1:" + std::to_string(m_port); }
  int Port() const { return m_port; }

 private:
  void Serve() {
    for (;;) {
      int client = accept(m_socket, nullptr, nullptr);
      if (client < 0) return;
      char request[4096];
      (void)recv(client, request, sizeof request, 0);  // one read holds the request line
      std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                          std::to_string(m_html.size()) + "\r\nConnection: close\r\n\r\n" + m_html;
      (void)send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
      close(client);
    }
  }
  std::string m_html;
  int m_socket = -1;
  int m_port = 0;
  std::thread m_thread;
};

class PageOnDisplay : public fgtest::HostFolderTest {
 protected:
  // Runs fgpage on a page (a file written from `html`, or a URL) with the
  // given answers; its exit status, standard output in `out`, standard
  // error in `err`.
  int Page(const std::string& options, const std::string& page, const std::string& answers, std::string& out,
           std::string& err, const std::string& extraEnv = "") {
    std::string answersFile = File("answers.txt", answers);
    int status = fgtest::RunCommand("{ " + m_env + extraEnv + " FARROWGATE_DIALOG_ANSWERS='" + answersFile +
                                        "' " FGPAGE_PRELOAD "timeout 60 " + std::string(FGPAGE_PATH) + " --console " + options + " '" + page +
                                        "' 2>'" + m_dir + "/stderr.txt'; }",
                                    &out);
    err = Read("stderr.txt");
    return status;
  }
};

constexpr const char* kPick =
    "<!doctype html><title>Pick</title><script>\n"
    "var o = new ActiveXObject('Farrowgate.DialogHelper');\n"
    "o.Title = 'Pick from the page'; o.Filter = 'Text|*.txt|All|*.*'; o.MultiSelect = true;\n"
    "console.log(o.OpenDialog(), o.FileName);\n"
    "var names = new VBArray(o.FileNames).toArray();\n"
    "for (var i = 0; i < names.length; i++) console.log('path', names[i]);\n"
    "try { o.OpenDialog(); } catch (e) { console.log(e.description, e.number); }\n"
    "o.MultiSelect = false; console.log(o.OpenDialog(), o.FileName);\n"
    "fgpage.exit(7);\n"
    "</script>\n";

TEST_F(PageOnDisplay, ATrustedPageDrivesTheComponent) {
  std::string out, err;
  EXPECT_EQ(Page("--size 640x480", File("pick.html", kPick),
                 "files\t/etc/hostname\t/etc/hosts\nerror 0x3002\nfiles\t/etc/passwd\n", out, err),
            7)
      << out << err;
  EXPECT_EQ(out,
            "true /etc|hostname|hosts\n"
            "path /etc/hostname\n"
            "path /etc/hosts\n"
            "\xE6\x96\x87\xE4\xBB\xB6\xE5\x90\x8D\xE6\x97\xA0\xE6\x95\x88" "ErrorCode:12290 -2147352567\n"
            "true /etc/passwd\n")
      << err;
}

TEST_F(PageOnDisplay, UncaughtErrorsAreReportedWithTheirCode) {
  std::string page = File("errors.html",
                          "<!doctype html><script>\n"
                          "var o = new ActiveXObject('Farrowgate.DialogHelper');\n"
                          "setTimeout(function () { console.error('to standard error'); o.OpenDialog(); }, 0);\n"
                          "setTimeout(function () { undefinedFunction(); }, 10);\n"
                          "setTimeout(function () { window.close(); }, 50);\n"
                          "</script><script>var broken = ;</script>\n"
                          "<script>console.log('a' + Array(40001).join('\\u00e9'));</script>\n");
  std::string out, err;
  EXPECT_EQ(Page("", page, "error 0x3002\n", out, err), 0) << out << err;
  std::string cut = "a";
  for (int i = 0; i < 32767; ++i) cut += "\xC3\xA9";
  EXPECT_EQ(out, cut + "\n") << "a long line is cut to 64 KiB of whole characters";
  std::string uri = "file://" + page;
  EXPECT_NE(err.find(uri + "(6) Script compilation error: Unexpected token ';' (0x800A03EA)\n"), std::string::npos)
      << err;
  EXPECT_NE(err.find("to standard error\n" + uri + "(3) Script runtime error: " +
                     "\xE6\x96\x87\xE4\xBB\xB6\xE5\x90\x8D\xE6\x97\xA0\xE6\x95\x88" "ErrorCode:12290 (0x80020009)\n"),
            std::string::npos)
      << err;
  EXPECT_NE(err.find(uri + "(4) Script runtime error: Can't find variable: undefinedFunction (0x800A1391)\n"),
            std::string::npos)
      << err;
}

TEST_F(PageOnDisplay, OtherOriginsGetNoObjectsUnlessAllowed) {
  PageServer server(
      "<!doctype html><script>console.log('served: ' + typeof ActiveXObject + ' ' + typeof fgpage); "
      "window.close();</script>\n");
  ASSERT_NE(server.Port(), 0);
  std::string out, err;
  EXPECT_EQ(Page("", server.Origin() + "/page.html", "", out, err), 0) << err;
  EXPECT_EQ(out, "served: undefined undefined\n");
  EXPECT_EQ(Page("--allow-origin " + server.Origin(), server.Origin() + "/page.html", "", out, err), 0) << err;
  EXPECT_EQ(out, "served: function object\n");
  EXPECT_EQ(Page("--allow-origin http://127.0.0.1:1", server.Origin() + "/page.html", "", out, err), 0) << err;
  EXPECT_EQ(out, "served: undefined undefined\n") << "another port is another origin";

  // A trusted page that navigates away loses the objects, and its objects
  // are released.
  std::string trusted = File("leave.html", "<!doctype html><script>\n"
                                           "console.log('file: ' + typeof ActiveXObject);\n"
                                           "var kept = new ActiveXObject('Farrowgate.DialogHelper');\n"
                                           "location.href = '" + server.Origin() + "/next.html';\n"
                                           "</script>\n");
  EXPECT_EQ(Page("", trusted, "", out, err), 0) << err;
  EXPECT_EQ(out, "file: function\nserved: undefined undefined\n");

}

// A frame's script that reaches the trusted page (same origin, srcdoc,
// document.domain) tries its ActiveXObject; the page then tries its own.
constexpr const char* kFrameAttack =
    "try { new parent.ActiveXObject('Farrowgate.DialogHelper'); console.log('frame created'); }"
    " catch (e) { console.log('frame refused', e.number); }"
    " parent.postMessage('done', '*');";

std::string TrustedPageWithFrame(const std::string& before, const std::string& frame) {
  return "<!doctype html><body><script>\n" + before +
         "function own(when) { try { new ActiveXObject('Farrowgate.DialogHelper'); console.log(when, 'created'); }"
         " catch (e) { console.log(when, 'refused', e.number); } }\n"
         "own('before');\n"
         "addEventListener('message', function () { own('after'); fgpage.exit(0); });\n"
         "var f = document.createElement('iframe');\n" +
         frame + "\ndocument.body.appendChild(f);\n</script>\n";
}

TEST_F(PageOnDisplay, FramesNeverReachTheComponent) {
  std::string out, err;
  std::string srcdoc = TrustedPageWithFrame(
      "", "f.srcdoc = '<script>' + " + std::string("\"") + kFrameAttack + "\" + '<\\/script>';");
  EXPECT_EQ(Page("", File("srcdoc.html", srcdoc), "", out, err), 0) << out << err;
  EXPECT_EQ(out, "before created\nframe refused -2147024891\nafter refused -2147024891\n")
      << "a frame that shares the page's origin shuts the page out too: " << err;

  // A sandboxed frame has an origin of its own: it cannot reach the page,
  // which keeps the component.
  std::string sandboxed = TrustedPageWithFrame(
      "", "f.sandbox = 'allow-scripts'; f.srcdoc = '<script>' + " + std::string("\"") + kFrameAttack +
              "\" + '<\\/script>';");
  EXPECT_EQ(Page("", File("sandboxed.html", sandboxed), "", out, err), 0) << out << err;
  EXPECT_EQ(out, "before created\nframe refused undefined\nafter created\n") << err;

  // A frame of another origin gets in when both set document.domain.
  PageServer other("<!doctype html><script>try { document.domain = '127.0.0.1'; } catch (e) {}\n" +
                   std::string(kFrameAttack) + "</script>\n");
  PageServer trusted(TrustedPageWithFrame("try { document.domain = '127.0.0.1'; } catch (e) {}\n",
                                          "f.src = '" + other.Origin() + "/frame.html';"));
  ASSERT_NE(other.Port(), 0);
  ASSERT_NE(trusted.Port(), 0);
  EXPECT_EQ(Page("--allow-origin " + trusted.Origin(), trusted.Origin() + "/page.html", "", out, err), 0)
      << out << err;
  EXPECT_EQ(out.find("created"), std::string::npos) << "nothing is created once the page set document.domain: " << out;
  EXPECT_NE(out.find("frame refused"), std::string::npos) << out;
}

TEST_F(PageOnDisplay, AHostilePageCannotCrashItsProcess) {
  std::string page = File("hostile.html",
                          "<!doctype html><script>\n"
                          "function collect() { for (var i = 0; i < 40; i++) { var junk = []; "
                          "for (var j = 0; j < 20000; j++) junk.push({ n: j }); } }\n"
                          "var o = new ActiveXObject('Farrowgate.DialogHelper'), m = o.OpenDialog;\n"
                          "var forged = {}; Object.defineProperty(forged, '__fgHandle', { get: function () { "
                          "o = null; collect(); return function () { return 1; }; } });\n"
                          "try { m(forged); } catch (e) { console.log(e.name); }\n"
                          "try { new VBArray({ __fgArray: function () { return 0x4141414141; } }); } catch (e) { "
                          "console.log(e.name, e.number); }\n"
                          "collect(); console.log(m());\n"
                          "fgpage.exit(0);\n</script>\n");
  std::string out, err;
  EXPECT_EQ(Page("", page, "cancel\n", out, err), 0) << "the page's process lives on: " << out << err;
  EXPECT_EQ(out, "TypeError\nTypeError -2146823275\nfalse\n") << err;
}

TEST_F(PageOnDisplay, AReleasedObjectThrowsAfterThePageComesBackFromTheCache) {
  std::string back = File("back.html", "<!doctype html><script>setTimeout(function () { history.back(); }, 50);</script>");
  std::string page = File("cached.html",
                          "<!doctype html><script>\n"
                          "addEventListener('pageshow', function (e) {\n"
                          "  if (!e.persisted) { window.kept = new ActiveXObject('Farrowgate.DialogHelper'); "
                          "kept.Title = 'x'; setTimeout(function () { location.href = 'back.html'; }, 0); return; }\n"
                          "  try { console.log('restored', kept.Title); } catch (x) { console.log('restored', x.number); }\n"
                          "  try { new ActiveXObject('Farrowgate.DialogHelper'); } catch (x) { console.log('create', "
                          "x.number); }\n"
                          "  fgpage.exit(0);\n"
                          "});\n</script>\n");
  std::string out, err;
  EXPECT_EQ(Page("", page, "", out, err), 0) << out << err << back;
  EXPECT_EQ(out, "restored -2147417848\ncreate -2147024891\n")
      << "RPC_E_DISCONNECTED for the released object; a document back from the cache creates nothing: " << err;
}

TEST_F(PageOnDisplay, ConsoleLinesAreShownNotRun) {
  std::string page = File("console.html",
                          "<!doctype html><script>\n"
                          "console.log('a\\0b', '\\x1b[2J');\n"
                          "console.error('fgpage: the page\\'s process ended (crashed)');\n"
                          "console.log('two\\nlines');\n"
                          "fgpage.exit(0);\n</script>\n");
  std::string out, err;
  EXPECT_EQ(Page("", page, "", out, err), 0) << out << err;
  EXPECT_EQ(out, "a\\x00b \\x1B[2J\ntwo\nlines\n");
  EXPECT_EQ(err.rfind("page: fgpage: the page's process ended (crashed)\n", 0), 0u)
      << "a page's line cannot pass for the host's: " << err;
}

TEST_F(PageOnDisplay, WhatCannotBeOpenedEndsTheHostWithStatusTwo) {
  std::string out, err;
  std::string page = File("page.html", "<!doctype html><script>window.close();</script>\n");
  EXPECT_EQ(Page("--allow-origin file:///etc", page, "", out, err), 2);
  EXPECT_NE(err.find("not an http or https origin"), std::string::npos) << err;
  EXPECT_EQ(Page("", m_dir + "/missing.html", "", out, err), 2);
  EXPECT_NE(err.find("cannot find the page"), std::string::npos) << err;
  std::string closed;
  {
    PageServer gone("");  // a port that was just free, and is again
    closed = gone.Origin() + "/nothing.html";
  }
  EXPECT_EQ(Page("", closed, "", out, err), 2) << "nothing listens there";
  EXPECT_NE(err.find("fgpage: cannot load " + closed), std::string::npos) << err;
  EXPECT_EQ(Page("", page, "", out, err, "DISPLAY= WAYLAND_DISPLAY="), 2);
  EXPECT_NE(err.find("no display"), std::string::npos) << err;
}

// The engine keeps its website data (storage, caches, the HSTS list) in a
// folder of the run's own: a run leaves nothing in the user's home unless
// asked to, and nothing in the temporary folder either.
TEST_F(PageOnDisplay, WebsiteDataStaysOutOfTheHomeUnlessKept) {
  std::string page = File("store.html", "<!doctype html><script>\n"
                                        "localStorage.setItem('k', 'v'); document.cookie = 'c=1';\n"
                                        "setTimeout(function () { window.close(); }, 200);\n"
                                        "</script>\n");
  std::string home = m_dir + "/home", out, err;
  std::string env = "HOME='" + home + "' XDG_DATA_HOME= XDG_CACHE_HOME= TMPDIR='" + m_dir + "' ";
  ASSERT_EQ(fgtest::RunCommand("mkdir -p '" + home + "'"), 0);
  ASSERT_EQ(Page("", page, "", out, err, env), 0) << err;
  EXPECT_NE(fgtest::RunCommand("test -e '" + home + "/.local/share/fgpage'"), 0);
  EXPECT_NE(fgtest::RunCommand("test -e '" + home + "/.cache/fgpage'"), 0);
  EXPECT_NE(fgtest::RunCommand("ls -d '" + m_dir + "'/fgpage-*"), 0) << "the run's folder is removed";
  // Ended by a signal, as Ctrl-C or a kill ends it, it still cleans up.
  std::string stays = File("stays.html", "<!doctype html><p>open until ended</p>\n");
  EXPECT_EQ(fgtest::RunCommand(m_env + env + FGPAGE_PRELOAD "timeout --foreground --preserve-status -s TERM 4 " +
                               std::string(FGPAGE_PATH) + " '" + stays + "'"),
            128 + 15)
      << "the shell's status for SIGTERM";
  EXPECT_NE(fgtest::RunCommand("ls -d '" + m_dir + "'/fgpage-*"), 0) << "the run's folder is removed";
  // A signal to the whole process group (a terminal's Ctrl-C) ends the
  // page's process too; the host still removes the folder.
  int status = fgtest::RunCommand(m_env + env + FGPAGE_PRELOAD "timeout --preserve-status -s INT 4 " + std::string(FGPAGE_PATH) + " '" +
                                  stays + "'");
  EXPECT_TRUE(status == 3 || status == 128 + 2) << "the page's process ended, or the host's signal: " << status;
  EXPECT_NE(fgtest::RunCommand("ls -d '" + m_dir + "'/fgpage-*"), 0) << "the run's folder is removed";
  ASSERT_EQ(Page("--keep-data", page, "", out, err, env), 0) << err;
  EXPECT_EQ(fgtest::RunCommand("test -d '" + home + "/.local/share/fgpage'"), 0) << "--keep-data keeps the engine's folders";

  std::string usage;
  EXPECT_EQ(fgtest::RunCommand(std::string(FGPAGE_PATH) + " --help", &usage), 0);
  EXPECT_EQ(usage.rfind("usage: fgpage", 0), 0u) << usage;
  EXPECT_NE(usage.find("window.close()"), std::string::npos) << usage;
}

TEST_F(PageOnDisplay, TheComponentIsUnloadedWhenTheHostEnds) {
  std::string page = File("keep.html", "<!doctype html><script>\n"
                                       "var kept = new ActiveXObject('Farrowgate.DialogHelper');\n"
                                       "var names = kept.FileNames;\n"
                                       "window.close();\n"
                                       "</script>\n");
  std::string out, err;
  ASSERT_EQ(Page("", page, "", out, err, "LD_DEBUG=files LD_DEBUG_OUTPUT='" + m_dir + "/ld'"), 0) << err;
  // Each process of the engine writes its own file; the web process loaded
  // the component and ran its static destructors before it ended.
  std::string loaded;
  DIR* folder = opendir(m_dir.c_str());
  ASSERT_NE(folder, nullptr);
  while (dirent* entry = readdir(folder)) {
    std::string name = entry->d_name;
    if (name.rfind("ld.", 0) != 0) continue;
    std::string text = Read(name);
    if (text.find("Farrowgate.so [0];  generating link map") != std::string::npos) loaded += text;
  }
  closedir(folder);
  ASSERT_NE(loaded, "") << "one process loaded the component";
  size_t fini = loaded.find("calling fini: " FARROWGATE_MODULE_PATH);
  EXPECT_NE(fini, std::string::npos) << "its static destructors ran";
  EXPECT_NE(loaded.find("Farrowgate.so [0];  destroying link map"), std::string::npos) << "it was unloaded";
}

TEST_F(PageOnDisplay, TheUserPicksInTheRealChooserWhilePageTimersAreRefused) {
  std::string files = m_dir + "/files";
  ASSERT_EQ(fgtest::RunCommand("mkdir -p '" + files + "' && echo x > '" + files + "/b.txt'"), 0);
  std::string page = File("real.html",
                          "<!doctype html><title>Real chooser</title><script>\n"
                          "var o = new ActiveXObject('Farrowgate.DialogHelper');\n"
                          "o.Title = 'Page picks one'; o.Filter = 'Text files|*.txt|All files|*.*';\n"
                          "var during = [];\n"
                          "var timer = setInterval(function () {\n"
                          "  if (during.length >= 2) return;\n"
                          "  try { o.OpenDialog(); during.push('a second dialog'); } catch (e) { during.push(e.number + ' ' + e.description); }\n"
                          "  try { new ActiveXObject('Farrowgate.DialogHelper'); during.push('created'); } catch (e) { during.push(e.number); }\n"
                          "}, 200);\n"
                          "console.log(o.OpenDialog(), o.FileName);\n"
                          "clearInterval(timer);\n"
                          "console.log(during.join('\\n'));\n"
                          "fgpage.exit(0);\n"
                          "</script>\n");
  User user("Page picks one", {"key ctrl+l", "type --delay 20 '" + files + "/b.txt'", "key Return"});
  std::string out, err;
  std::string clearAnswers = "FARROWGATE_DIALOG_ANSWERS= ";
  int status = fgtest::RunCommand("{ " + m_env + clearAnswers + FGPAGE_PRELOAD "timeout 90 " + std::string(FGPAGE_PATH) + " --console '" + page +
                                      "' 2>'" + m_dir + "/stderr.txt'; }",
                                  &out);
  EXPECT_EQ(status, 0) << out << Read("stderr.txt");
  EXPECT_TRUE(user.FoundTheDialog());
  EXPECT_EQ(out, "true " + files + "/b.txt\n"
                 "-2147418111 A call into a component is still running\n"
                 "-2147418111\n")
      << "timers that ran while the dialog was open were refused, not given a second dialog";
}

TEST_F(PageOnDisplay, TheExamplePageListsWhatThePickBrings) {
  std::string folder = m_dir + "/Documents";
  ASSERT_EQ(fgtest::RunCommand("mkdir -p '" + folder + "' && touch '" + folder + "/notes.txt' '" + folder +
                               "/server.log'"),
            0);
  std::string answers = File("answers.txt", "files\t" + folder + "/notes.txt\t" + folder + "/server.log\n");
  // The page host runs until its console shows the pick; xdotool clicks
  // the page's button as the user does.
  std::string out;
  fgtest::RunCommand("{ " + m_env + "FARROWGATE_DIALOG_ANSWERS='" + answers + "' " FGPAGE_PRELOAD "timeout 60 " +
                         std::string(FGPAGE_PATH) + " --console --size 720x520 '" + EXAMPLE_PAGE + "' >'" + m_dir +
                         "/out.txt' 2>'" + m_dir + "/stderr.txt' & page=$!;"
                         " w=$(timeout 20 xdotool search --sync --onlyvisible --name '^Pick files$' | head -1);"
                         " sleep 1; xdotool mousemove --window \"$w\" 190 175 click 1;"
                         " for i in $(seq 200); do grep -q server.log '" + m_dir + "/out.txt' && break; sleep 0.1; done;"
                         " kill $page; wait $page; }",
                     &out);
  EXPECT_EQ(Read("out.txt"), folder + "/notes.txt\n" + folder + "/server.log\n") << Read("stderr.txt");
}

}  // namespace
