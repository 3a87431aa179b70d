'use strict';
// The walkthrough (npm run demo) in this process; args: [a code for createGroup to fail with].
module.exports = {
  run(context) {
    if (context.args.length) context.sdk.script('QCF_CreateGroup', { code: context.args[0] });
    require('../../examples/walkthrough.js');
  },
};
