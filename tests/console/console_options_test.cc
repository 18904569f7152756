// The terminal front end's command line and exit statuses.
#include "ui/console/console_options.h"

#include <gtest/gtest.h>

#include "ui/console/console_app.h"

namespace updater::console {
namespace {

TEST(ConsoleOptions, ACommandWithItsOptionsInAnyOrder) {
  std::string error;
  const struct {
    std::vector<std::string> arguments;
    ConsoleCommand command;
    std::optional<std::string> folder;
    Answering answering;
  } cases[] = {
      {{"online"}, ConsoleCommand::kDatabaseOnline, std::nullopt, Answering::kAsk},
      {{"--folder", "/srv/Мой продукт", "shutdown"},
       ConsoleCommand::kDatabaseShutdown,
       "/srv/Мой продукт",
       Answering::kAsk},
      {{"service-start", "--answer=yes", "--folder="},
       ConsoleCommand::kServiceStart,
       "",
       Answering::kYes},
      {{"service-stop", "--answer", "no"},
       ConsoleCommand::kServiceStop,
       std::nullopt,
       Answering::kNo},
      {{"recover", "--answer=no"}, ConsoleCommand::kRecover, std::nullopt, Answering::kNo},
      {{"--help"}, ConsoleCommand::kHelp, std::nullopt, Answering::kAsk},
  };
  for (const auto& c : cases) {
    const std::optional<ConsoleOptions> options = ParseConsoleOptions(c.arguments, error);
    ASSERT_TRUE(options) << c.arguments[0] << ": " << error;
    EXPECT_EQ(options->command, c.command);
    EXPECT_EQ(options->folder, c.folder);
    EXPECT_EQ(options->answering, c.answering);
  }
}

TEST(ConsoleOptions, AWrongCommandLineIsRefusedWithItsReason) {
  const struct {
    std::vector<std::string> arguments;
    const char* error;
  } cases[] = {
      {{}, "no command given"},
      {{"update-all"}, "unknown command \"update-all\""},
      {{"online", "--password", "x"}, "unknown option \"--password\""},
      {{"online", "shutdown"}, "one command at a time"},
      {{"online", "--folder"}, "--folder needs a value"},
      {{"online", "--answer", "maybe"}, "--answer takes yes or no, not \"maybe\""},
      {{"online=1"}, "unknown command \"online=1\""},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseConsoleOptions(c.arguments, error));
    EXPECT_EQ(error, c.error);
  }
}

TEST(ConsoleExitStatus, TellsSuccessSilentAbortAndFailureApart) {
  EXPECT_EQ(ExitStatusOf(CommandOutcome::kCompleted), 0);
  EXPECT_EQ(ExitStatusOf(CommandOutcome::kFailed), 1);
  EXPECT_EQ(ExitStatusOf(CommandOutcome::kSilentAbort), 3);
}

}  // namespace
}  // namespace updater::console
