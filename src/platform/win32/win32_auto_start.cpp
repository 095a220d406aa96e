// Start-again registrations on Windows: tasks of the Task Scheduler in its root folder ("\"), each
// with one logon trigger, no time limit and one action that starts this program with the
// registration's arguments. The registration order is kept in the task's registration date.
#include <windows.h>
#include <oleauto.h>
#include <taskschd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/auto_start.h"
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
      Com<ITaskDefinition> oldDef;
      Com<IRegistrationInfo> oldInfo;
      Bstr oldDate;
      if (SUCCEEDED(root->GetTask(Bstr(Widen(name)), old.Put())) && SUCCEEDED(old->get_Definition(oldDef.Put())) &&
          SUCCEEDED(oldDef->get_RegistrationInfo(oldInfo.Put())) && SUCCEEDED(oldInfo->get_Date(oldDate.Put())) &&
          oldDate)
        date = Widen(oldDate.Text());
    }
    Com<ITaskDefinition> def;
    HRESULT hr = service->NewTask(0, def.Put());
    if (FAILED(hr)) return (why = HresultText("NewTask", hr), false);
    Com<IRegistrationInfo> info;
    if (SUCCEEDED(def->get_RegistrationInfo(info.Put()))) info->put_Date(Bstr(date));
    Com<ITaskSettings> settings;
    hr = def->get_Settings(settings.Put());
    if (FAILED(hr)) return (why = HresultText("the task's settings", hr), false);
    settings->put_ExecutionTimeLimit(Bstr(L"PT0S"));
    settings->put_DisallowStartIfOnBatteries(VARIANT_FALSE);
    settings->put_StopIfGoingOnBatteries(VARIANT_FALSE);
    Com<ITriggerCollection> triggers;
    Com<ITrigger> trigger;
    hr = def->get_Triggers(triggers.Put());
    if (SUCCEEDED(hr)) hr = triggers->Create(TASK_TRIGGER_LOGON, trigger.Put());
    if (FAILED(hr)) return (why = HresultText("the logon trigger", hr), false);
    Com<IActionCollection> actions;
    Com<IAction> action;
    Com<IExecAction> exec;
    hr = def->get_Actions(actions.Put());
    if (SUCCEEDED(hr)) hr = actions->Create(TASK_ACTION_EXEC, action.Put());
    if (SUCCEEDED(hr)) hr = action->QueryInterface(IID_IExecAction, exec.PutVoid());
    if (SUCCEEDED(hr)) hr = exec->put_Path(Bstr(Widen(program_)));
    if (SUCCEEDED(hr)) hr = exec->put_Arguments(Bstr(Widen(arguments)));
    if (FAILED(hr)) return (why = HresultText("the task's action", hr), false);
    VARIANT empty;
    VariantInit(&empty);
    Com<IRegisteredTask> registered;
    hr = root->RegisterTaskDefinition(Bstr(Widen(name)), def.get(), TASK_CREATE_OR_UPDATE, empty, empty,
                                      TASK_LOGON_INTERACTIVE_TOKEN, empty, registered.Put());
    if (FAILED(hr)) return (why = HresultText("RegisterTaskDefinition", hr), false);
    return true;
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
      Com<ITaskDefinition> def;
      Com<IActionCollection> actions;
      Com<IAction> action;
      Com<IExecAction> exec;
      Bstr args;
      if (FAILED(task->get_Definition(def.Put())) || FAILED(def->get_Actions(actions.Put())) ||
          FAILED(actions->get_Item(1, action.Put())) ||
          FAILED(action->QueryInterface(IID_IExecAction, exec.PutVoid())) || FAILED(exec->get_Arguments(args.Put())))
        continue;
      Com<IRegistrationInfo> info;
      Bstr date;
      if (SUCCEEDED(def->get_RegistrationInfo(info.Put()))) info->get_Date(date.Put());
      dated.push_back({date.Text(), AutoStartEntry{name.Text(), args.Text()}});
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
