// An SDK session, from preActivate or init to finish, keeps the event loop
// alive: SDK threads may raise events for it at any time.
#ifndef VARN_NODE_EXT_SESSION_HOLD_H
#define VARN_NODE_EXT_SESSION_HOLD_H

namespace VarnNode {

// JavaScript thread only; repeated opens or closes count once.
void openSession();
void closeSession();

}  // namespace VarnNode

#endif  // VARN_NODE_EXT_SESSION_HOLD_H
