// The wait for a blocking server call: a real connection calls a loopback server that
// answers late; meanwhile the busy animation turns, the overlay says what is awaited
// once the wait passes its announcement time, and keys sent to the window do not reach
// it. The call's answer, and a failure of the work, come back to the caller.
#include "desktop/host_services.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <QLineEdit>
#include <QPaintEvent>
#include <QTest>
#include <QVBoxLayout>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "desktop/qt_test_support.h"
#include "platform/clientlib/net/net_connection.h"
#include "platform/runtime/packet_json.h"

namespace desk {
namespace {

const auto* const qt_env = ::testing::AddGlobalTestEnvironment(new testing::QtEnvironment);

// A loopback application server whose every call is answered after `delay`.
class SlowServer {
 public:
  explicit SlowServer(std::chrono::milliseconds delay) {
    server_.Get("/health",
                [](const httplib::Request&, httplib::Response& res) { res.set_content("ok", "text/plain"); });
    server_.Post("/rpc", [delay](const httplib::Request&, httplib::Response& res) {
      std::this_thread::sleep_for(delay);
      res.set_content(R"({"jsonrpc":"2.0","id":1,"result":{"value":)" + rt::EncodeVariant(rt::Variant("pronto")) +
                          R"(,"params":[]}})",
                      "application/json");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~SlowServer() {
    server_.stop();
    thread_.join();
  }
  int Port() const { return port_; }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

// Counts the frames the overlay paints.
class FrameCounter : public QObject {
 public:
  int frames = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++frames;
    return false;
  }
};

class BlockingWaitTest : public ::testing::Test {
 protected:
  BlockingWaitTest() : box_(new QLineEdit(&window_)) {
    auto* layout = new QVBoxLayout(&window_);
    layout->addWidget(box_);
    window_.resize(400, 300);
    window_.show();
    window_.activateWindow();
    services_ = std::make_unique<THostServices>(&window_);
    box_->setFocus();
  }

  QWidget window_;
  QLineEdit* box_;
  std::unique_ptr<THostServices> services_;
};

TEST_F(BlockingWaitTest, ASlowCallKeepsTheAnimationTurningSaysWhatItWaitsForAndTakesNoKeys) {
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
  SlowServer server(std::chrono::milliseconds(1600));
  clib::TNetConnection connection;
  connection.SetPort(server.Port());
  ASSERT_TRUE((connection.Open(), connection.Connected())) << connection.LastError();

  TBusyOverlay& overlay = services_->Busy();
  FrameCounter counter;
  overlay.installEventFilter(&counter);
  overlay.Show(1);  // the screen's animation, as ActiveShowAvi shows it before its call
  const int frames_before = counter.frames;
  const int angle_before = overlay.Angle();

  // What happens on this thread while the call waits.
  QString said_early, said_late;
  QTimer::singleShot(300, [&] {
    said_early = overlay.Text();
    QTest::keyClicks(box_, "7");  // keys sent to the window during the wait
  });
  QTimer::singleShot(1300, [&] { said_late = overlay.Text(); });

  const auto start = std::chrono::steady_clock::now();
  const clib::ServerAnswer answer = connection.Call("GetAlocaForne", {});
  const auto waited = std::chrono::steady_clock::now() - start;

  ASSERT_TRUE(answer.ok) << answer.error_text;
  EXPECT_EQ(answer.value.AsString(), "pronto");
  EXPECT_GE(waited, std::chrono::milliseconds(1500));
  EXPECT_GE(counter.frames - frames_before, 10) << "the overlay repainted while the call waited";
  EXPECT_NE(overlay.Angle(), angle_before) << "the spinner turned";
  EXPECT_EQ(said_early, QString::fromUtf8("Carregando…")) << "the screen's own text first";
  EXPECT_EQ(said_late, QString::fromUtf8("Aguardando o servidor (GetAlocaForne)…")) << "then what it waits for";
  EXPECT_EQ(overlay.Text(), QString::fromUtf8("Carregando…")) << "the call over: the screen's text again";
  EXPECT_EQ(box_->text(), "") << "no key reached the window during the wait";
  overlay.Hide();

  // Outside a wait the same keys arrive.
  QTest::keyClicks(box_, "7");
  EXPECT_EQ(box_->text(), "7");
}

TEST_F(BlockingWaitTest, AWaitWithoutTheAnimationShowsItOnceLongAndHidesItAfter) {
  TBusyOverlay& overlay = services_->Busy();
  QString said;
  QTimer::singleShot(1200, [&] { said = overlay.isVisible() ? overlay.Text() : "hidden"; });
  rt::BlockingWait().Wait("Aguardando o servidor (GetPesqOrca)…",
                          [] { std::this_thread::sleep_for(std::chrono::milliseconds(1400)); });
  EXPECT_EQ(said, QString::fromUtf8("Aguardando o servidor (GetPesqOrca)…"));
  EXPECT_FALSE(overlay.isVisible());
}

TEST_F(BlockingWaitTest, AFailureOfTheWorkReachesTheCaller) {
  EXPECT_THROW(rt::BlockingWait().Wait("x", [] { throw std::runtime_error("falhou"); }), std::runtime_error);
  EXPECT_FALSE(services_->BlockingWait().Waiting());
}

}  // namespace
}  // namespace desk
