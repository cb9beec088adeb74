// The host's C interface, as C# and other languages use it.
#include <string>

#include "host/host_c_api.h"
#include "tests/emulator_fixture.h"

namespace {

class HostCApiTest : public velmora::test::EmulatorTest {
protected:
    void TearDown() override {
        velmora_host_destroy(host_);
        EmulatorTest::TearDown();
    }
    VelmoraHost* host_ = nullptr;
};

std::string LineText(VelmoraHost* host, size_t index) {
    const size_t length = velmora_host_log_line(host, index, nullptr, 0);
    if (length == size_t(-1)) return "<none>";
    std::string text(length + 1, '\0');
    velmora_host_log_line(host, index, text.data(), text.size());
    text.resize(length);
    return text;
}

TEST_F(HostCApiTest, LoadPumpAndReadTheLog) {
    host_ = velmora_host_create(VELMORA_HOST_DEFERRED);
    ASSERT_NE(host_, nullptr) << velmora_host_last_error();
    ASSERT_EQ(velmora_host_load(host_, VELMORA_HOST_FAKE_PLUGIN, 1), 1) << velmora_host_last_error();
    EXPECT_STREQ(velmora_host_last_error(), "");

    EXPECT_TRUE(velmora_host_wait_and_pump(host_, 60000));  // the two requests
    EXPECT_EQ(velmora_host_pump(host_), 2u);                // the two answers
    EXPECT_EQ(velmora_host_pump(host_), 0u);
    EXPECT_FALSE(velmora_host_wait_and_pump(host_, 0));

    auto initialize = reinterpret_cast<int32_t (*)()>(velmora_host_resolve(host_, "InitializePlugin"));
    ASSERT_NE(initialize, nullptr);
    EXPECT_EQ(initialize(), 1);
    EXPECT_EQ(velmora_host_resolve(host_, "NoSuchExport"), nullptr);

    ASSERT_EQ(velmora_host_log_line_count(host_), 1u);
    EXPECT_EQ(LineText(host_, 0), "users=0 queue=yes 100%");
    EXPECT_EQ(LineText(host_, 1), "<none>");
    char tag[5];
    EXPECT_EQ(velmora_host_log_tag(host_, 0, tag, sizeof tag), 10u);
    EXPECT_STREQ(tag, "Fake") << "a short buffer gets a terminated prefix";

    EXPECT_EQ(velmora_host_unload(host_), 1);
    EXPECT_EQ(velmora_host_unload(host_), 0);
}

// A host kept for the process serves one test deferred and the next synchronous.
TEST_F(HostCApiTest, TheDeliveryModeSwitchesForTheEventsSentAfter) {
    host_ = velmora_host_create(VELMORA_HOST_DEFERRED);
    ASSERT_NE(host_, nullptr);
    ASSERT_EQ(velmora_host_set_delivery(host_, VELMORA_HOST_SYNCHRONOUS), 1);
    ASSERT_EQ(velmora_host_load(host_, VELMORA_HOST_FAKE_PLUGIN, 1), 1) << velmora_host_last_error();
    auto answers = reinterpret_cast<int (*)(int)>(velmora_host_resolve(host_, "FakePlugin_AnswerCount"));
    ASSERT_NE(answers, nullptr);
    EXPECT_EQ(answers(0), 1) << "the user manager arrived inside the load, without a pump";
    EXPECT_EQ(velmora_host_pump(host_), 0u);
}

TEST_F(HostCApiTest, FailuresLeaveAMessageAndNoException) {
    EXPECT_EQ(velmora_host_create(7), nullptr);
    EXPECT_NE(std::string(velmora_host_last_error()).find("delivery mode"), std::string::npos);

    host_ = velmora_host_create(VELMORA_HOST_SYNCHRONOUS);
    ASSERT_NE(host_, nullptr);
    EXPECT_EQ(velmora_host_create(VELMORA_HOST_DEFERRED), nullptr) << "a second host must be refused";
    EXPECT_NE(std::string(velmora_host_last_error()).find("only one Host"), std::string::npos);

    EXPECT_EQ(velmora_host_load(host_, VELMORA_HOST_PARTIAL_PLUGIN, 0), 0);
    EXPECT_NE(std::string(velmora_host_last_error()).find("InitializePlugin"), std::string::npos);
    EXPECT_EQ(velmora_host_set_delivery(host_, 7), 0);
    EXPECT_NE(std::string(velmora_host_last_error()).find("delivery mode"), std::string::npos);
    EXPECT_EQ(velmora_host_set_delivery(nullptr, VELMORA_HOST_DEFERRED), 0);
    EXPECT_EQ(velmora_host_load(nullptr, VELMORA_HOST_FAKE_PLUGIN, 0), 0);
    EXPECT_EQ(velmora_host_pump(nullptr), 0u);
    EXPECT_EQ(velmora_host_log_line_count(nullptr), 0u);
    EXPECT_STRNE(velmora_host_default_plugin_path(), "");
}

}  // namespace
