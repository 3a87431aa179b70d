#include "node_ext/varn_kt_plugin.h"

#include "events/event_handler.h"
#include "events/log_callback.h"

Napi::Function VarnKtPlugin::DefineClass(Napi::Env env) {
  return ObjectWrap<VarnKtPlugin>::DefineClass(
      env, "VarnKtPlugin",
      {
          InstanceMethod<&VarnKtPlugin::preActivate>("preActivate"),
          InstanceMethod<&VarnKtPlugin::reportSPMWithSignPubkey>(
              "reportSPMWithSignPubkey"),
          InstanceMethod<&VarnKtPlugin::setKeyFilePath>("setKeyFilePath"),
          InstanceMethod<&VarnKtPlugin::setCustomConfig>("setCustomConfig"),
          InstanceMethod<&VarnKtPlugin::init>("init"),
          InstanceMethod<&VarnKtPlugin::auth_pubkey>("auth_pubkey"),
          InstanceMethod<&VarnKtPlugin::auth>("auth"),
          InstanceMethod<&VarnKtPlugin::fillKey>("fillKey"),
          InstanceMethod<&VarnKtPlugin::fillKeySync>("fillKeySync"),
          InstanceMethod<&VarnKtPlugin::finish>("finish"),
          InstanceMethod<&VarnKtPlugin::getSPMKeyInfo>("getSPMKeyInfo"),
          InstanceMethod<&VarnKtPlugin::reFillKey>("reFillKey"),
          InstanceMethod<&VarnKtPlugin::reFillKeySync>("reFillKeySync"),
          InstanceMethod<&VarnKtPlugin::createGroup>("createGroup"),
          InstanceMethod<&VarnKtPlugin::applyKeyWithGroupID>(
              "applyKeyWithGroupID"),
          InstanceMethod<&VarnKtPlugin::hello>("hello"),
          InstanceMethod<&VarnKtPlugin::setLogCallback>("setLogCallback"),
          InstanceMethod<&VarnKtPlugin::setEventCallback>("setEventCallback"),
          InstanceMethod<&VarnKtPlugin::removeEventCallback>(
              "removeEventCallback"),
          StaticMethod<&VarnKtPlugin::configure>("configure"),
      });
}

VarnKtPlugin::VarnKtPlugin(const Napi::CallbackInfo &info)
    : Napi::ObjectWrap<VarnKtPlugin>(info),
      m_eventHandler(std::make_unique<VarnNode::event_handler>()) {}

VarnKtPlugin::~VarnKtPlugin() {
  // Only the instance that registered the log callback takes it along; a
  // throwaway instance leaves logging alone.
  VarnNode::releaseLogCallbackOf(this);
  m_eventHandler.reset();
}

bool VarnKtPlugin::instanceMissing(const Napi::CallbackInfo &info) {
  return Unwrap(info.This().As<Napi::Object>()) == nullptr;
}
