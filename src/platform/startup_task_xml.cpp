#include "platform/startup_task_xml.h"

#include "base/text.h"

namespace kestrune::platform {

std::string StartupTaskXml(const StartupTask& task) {
  // The declared encoding is UTF-16: the scheduler is handed the text as a BSTR.
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
      "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
      "  <RegistrationInfo>\r\n"
      "    <Date>" + base::EscapeMarkup(task.date) + "</Date>\r\n"
      "  </RegistrationInfo>\r\n"
      "  <Triggers>\r\n"
      "    <LogonTrigger>\r\n"
      "      <Enabled>true</Enabled>\r\n"
      "    </LogonTrigger>\r\n"
      "  </Triggers>\r\n"
      "  <Principals>\r\n"
      "    <Principal id=\"Author\">\r\n"
      "      <LogonType>InteractiveToken</LogonType>\r\n"
      "      <RunLevel>HighestAvailable</RunLevel>\r\n"
      "    </Principal>\r\n"
      "  </Principals>\r\n"
      "  <Settings>\r\n"
      "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\r\n"
      "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\r\n"
      "    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>\r\n"
      "    <Enabled>true</Enabled>\r\n"
      "  </Settings>\r\n"
      "  <Actions Context=\"Author\">\r\n"
      "    <Exec>\r\n"
      "      <Command>" + base::EscapeMarkup(task.program) + "</Command>\r\n";
  if (!task.arguments.empty()) xml += "      <Arguments>" + base::EscapeMarkup(task.arguments) + "</Arguments>\r\n";
  xml +=
      "    </Exec>\r\n"
      "  </Actions>\r\n"
      "</Task>\r\n";
  return xml;
}

}  // namespace kestrune::platform
