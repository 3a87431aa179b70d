// VarnKtPlugin: the one JavaScript class of the add-on. An instance owns its
// event handler registry and nothing else; all SDK state is process-wide.
// Each method lives in methods/<method family>.cc.
#ifndef VARN_NODE_EXT_VARN_KT_PLUGIN_H
#define VARN_NODE_EXT_VARN_KT_PLUGIN_H

#include <napi.h>

#include <memory>

namespace VarnNode {
class event_handler;
}

class VarnKtPlugin : public Napi::ObjectWrap<VarnKtPlugin> {
 public:
  static Napi::Function DefineClass(Napi::Env env);

  explicit VarnKtPlugin(const Napi::CallbackInfo &info);
  ~VarnKtPlugin() override;

  // In the order of the class definition.
  Napi::Value preActivate(const Napi::CallbackInfo &info);
  Napi::Value reportSPMWithSignPubkey(const Napi::CallbackInfo &info);
  Napi::Value setKeyFilePath(const Napi::CallbackInfo &info);
  Napi::Value setCustomConfig(const Napi::CallbackInfo &info);
  Napi::Value init(const Napi::CallbackInfo &info);
  Napi::Value auth_pubkey(const Napi::CallbackInfo &info);
  Napi::Value auth(const Napi::CallbackInfo &info);
  Napi::Value fillKey(const Napi::CallbackInfo &info);
  Napi::Value fillKeySync(const Napi::CallbackInfo &info);
  Napi::Value finish(const Napi::CallbackInfo &info);
  Napi::Value getSPMKeyInfo(const Napi::CallbackInfo &info);
  Napi::Value reFillKey(const Napi::CallbackInfo &info);
  Napi::Value reFillKeySync(const Napi::CallbackInfo &info);
  Napi::Value createGroup(const Napi::CallbackInfo &info);
  Napi::Value applyKeyWithGroupID(const Napi::CallbackInfo &info);
  Napi::Value hello(const Napi::CallbackInfo &info);
  Napi::Value setLogCallback(const Napi::CallbackInfo &info);
  Napi::Value setEventCallback(const Napi::CallbackInfo &info);
  Napi::Value removeEventCallback(const Napi::CallbackInfo &info);

  // VarnKtPlugin.configure(options): process-wide options.
  static Napi::Value configure(const Napi::CallbackInfo &info);

  VarnNode::event_handler *eventHandler() { return m_eventHandler.get(); }

  // The instance check every method but setLogCallback makes first.
  static bool instanceMissing(const Napi::CallbackInfo &info);

 private:
  std::unique_ptr<VarnNode::event_handler> m_eventHandler;
};

#endif  // VARN_NODE_EXT_VARN_KT_PLUGIN_H
