#pragma once

// The test classes of the window, each run by QTest::qExec; 0 when all passed.
namespace brindel::test {

int RunMainWindowTest(int argc, char** argv);
int RunMainWindowKeyboardTest(int argc, char** argv);
int RunMainWindowScreenTest(int argc, char** argv);
int RunMainWindowMapTest(int argc, char** argv);
int RunMainWindowRestoreTest(int argc, char** argv);
int RunOutlookVersionDlgTest(int argc, char** argv);
int RunProgramTest(int argc, char** argv);

}  // namespace brindel::test
