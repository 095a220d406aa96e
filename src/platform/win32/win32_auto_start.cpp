// Start-again registrations on Windows: tasks of the Task Scheduler in its root folder ("\"), each
// registered from its XML text (platform/startup_task_xml.h): one logon trigger, the highest run
// level, no time limit and one action that starts this program with the registration's arguments.
// The registration order is kept in the task's registration date.
#include <windows.h>
#include <oleauto.h>
#include <taskschd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/auto_start.h"
#include "platform/startup_task_xml.h"
#include "platform/win32/wide.h"

namespace kestrune::platform {
namespace {

// Holds one COM interface pointer and releases it.
template <class T>
class Com {
 public:
  Com() = default;
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  ~Com() {
    if (p_) p_->Release();
  }
  T** Put() { return &p_; }
  void** PutVoid() { return reinterpret_cast<void**>(&p_); }
  T* operator->() const { return p_; }
  T* get() const { return p_; }

 private:
  T* p_ = nullptr;
};

// One BSTR for the length of a call.
class Bstr {
 public:
  explicit Bstr(const std::wstring& s) : b_(SysAllocString(s.c_str())) {}
  Bstr() = default;
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(b_); }
  operator BSTR() const { return b_; }
  BSTR* Put() { return &b_; }
  std::string Text() const { return b_ ? Narrow(std::wstring_view(b_, SysStringLen(b_))) : std::string(); }

 private:
  BSTR b_ = nullptr;
};

std::string HresultText(const char* what, HRESULT hr) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%s failed (0x%08lX)", what, static_cast<unsigned long>(hr));
  return buf;
}

// COM for the calling thread, for the length of one operation.
class ComScope {
 public:
  ComScope() : hr_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }

 private:
  HRESULT hr_;
};

bool RootFolder(Com<ITaskService>& service, Com<ITaskFolder>& root, std::string& why) {
  HRESULT hr = CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                service.PutVoid());
  if (FAILED(hr)) {
    why = HresultText("the Task Scheduler service", hr);
    return false;
  }
  VARIANT empty;
  VariantInit(&empty);
  hr = service->Connect(empty, empty, empty, empty);
  if (FAILED(hr)) {
    why = HresultText("connecting to the Task Scheduler", hr);
    return false;
  }
  hr = service->GetFolder(Bstr(L"\\"), root.Put());
  if (FAILED(hr)) {
    why = HresultText("the Task Scheduler's root folder", hr);
    return false;
  }
  return true;
}

// An ISO 8601 time with milliseconds: registration dates that sort as they were made.
std::wstring NowText() {
  SYSTEMTIME t;
  GetSystemTime(&t);
  wchar_t buf[40];
  swprintf(buf, 40, L"%04u-%02u-%02uT%02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
           t.wSecond, t.wMilliseconds);
  return buf;
}

// What a registered task starts: its first action's program and arguments, its registration date,
// and whether its first trigger is a logon trigger. False when the task holds no program to start.
struct TaskStart {
  std::string program, arguments, date;
  bool atLogon = false;
};

bool ReadTaskStart(IRegisteredTask* task, TaskStart& start) {
  Com<ITaskDefinition> def;
  if (FAILED(task->get_Definition(def.Put()))) return false;
  Com<ITriggerCollection> triggers;
  Com<ITrigger> trigger;
  TASK_TRIGGER_TYPE2 type = TASK_TRIGGER_EVENT;
  start.atLogon = SUCCEEDED(def->get_Triggers(triggers.Put())) && SUCCEEDED(triggers->get_Item(1, trigger.Put())) &&
                  SUCCEEDED(trigger->get_Type(&type)) && type == TASK_TRIGGER_LOGON;
  Com<IRegistrationInfo> info;
  Bstr date;
  if (SUCCEEDED(def->get_RegistrationInfo(info.Put()))) info->get_Date(date.Put());
  start.date = date.Text();
  Com<IActionCollection> actions;
  Com<IAction> action;
  Com<IExecAction> exec;
  Bstr path, args;
  if (FAILED(def->get_Actions(actions.Put())) || FAILED(actions->get_Item(1, action.Put())) ||
      FAILED(action->QueryInterface(IID_IExecAction, exec.PutVoid())) || FAILED(exec->get_Path(path.Put())) ||
      FAILED(exec->get_Arguments(args.Put())))
    return false;
  start.program = path.Text();
  start.arguments = args.Text();
  return !start.program.empty();
}

class Win32AutoStart final : public AutoStart {
 public:
  explicit Win32AutoStart(std::string program) : program_(std::move(program)) {}

  bool Register(const std::string& name, const std::string& arguments, std::string& why) override {
    ComScope com;
    Com<ITaskService> service;
    Com<ITaskFolder> root;
    if (!RootFolder(service, root, why)) return false;
    // An existing task keeps its date, so that it keeps its place in the order.
    std::wstring date = NowText();
    {
      Com<IRegisteredTask> old;
      TaskStart start;
      if (SUCCEEDED(root->GetTask(Bstr(Widen(name)), old.Put()))) ReadTaskStart(old.get(), start);
      if (!start.date.empty()) date = Widen(start.date);
    }
    const std::string xml = StartupTaskXml({Narrow(date), program_, arguments});
    VARIANT empty;
    VariantInit(&empty);
    Com<IRegisteredTask> registered;
    const HRESULT hr = root->RegisterTask(Bstr(Widen(name)), Bstr(Widen(xml)), TASK_CREATE_OR_UPDATE, empty, empty,
                                          TASK_LOGON_INTERACTIVE_TOKEN, empty, registered.Put());
    if (FAILED(hr)) return (why = HresultText("RegisterTask", hr), false);
    // A scheduler may accept the text and keep less of it than it was given (Wine drops triggers and
    // actions). A task that would not start this run again after the restart is no registration.
    TaskStart kept;
    const bool whole = ReadTaskStart(registered.get(), kept);
    if (whole && kept.atLogon && kept.program == program_ && kept.arguments == arguments) return true;
    root->DeleteTask(Bstr(Widen(name)), 0);
    why = !kept.atLogon ? "the Task Scheduler kept no logon trigger"
          : !whole      ? "the Task Scheduler kept no action"
                        : "the Task Scheduler kept another command line";
    return false;
  }

  bool Remove(const std::string& name, std::string& why) override {
    ComScope com;
    Com<ITaskService> service;
    Com<ITaskFolder> root;
    if (!RootFolder(service, root, why)) return false;
    const HRESULT hr = root->DeleteTask(Bstr(Widen(name)), 0);
    if (SUCCEEDED(hr) || hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) return true;
    why = HresultText("DeleteTask", hr);
    return false;
  }

  bool List(std::vector<AutoStartEntry>& entries, std::string& why) override {
    entries.clear();
    ComScope com;
    Com<ITaskService> service;
    Com<ITaskFolder> root;
    if (!RootFolder(service, root, why)) return false;
    Com<IRegisteredTaskCollection> tasks;
    HRESULT hr = root->GetTasks(TASK_ENUM_HIDDEN, tasks.Put());
    if (FAILED(hr)) return (why = HresultText("GetTasks", hr), false);
    LONG count = 0;
    tasks->get_Count(&count);
    std::vector<std::pair<std::string, AutoStartEntry>> dated;
    for (LONG i = 1; i <= count; ++i) {
      VARIANT index;
      VariantInit(&index);
      index.vt = VT_I4;
      index.lVal = i;
      Com<IRegisteredTask> task;
      if (FAILED(tasks->get_Item(index, task.Put()))) continue;
      Bstr name;
      if (FAILED(task->get_Name(name.Put())) || name.Text().rfind("AutoRunOnStartup", 0) != 0) continue;
      TaskStart start;
      if (!ReadTaskStart(task.get(), start)) continue;
      dated.push_back({start.date, AutoStartEntry{name.Text(), start.arguments}});
    }
    std::stable_sort(dated.begin(), dated.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& d : dated) entries.push_back(std::move(d.second));
    return true;
  }

 private:
  std::string program_;
};

}  // namespace

std::unique_ptr<AutoStart> MakeSystemAutoStart(const std::string& programPath) {
  return std::make_unique<Win32AutoStart>(programPath);
}

}  // namespace kestrune::platform
