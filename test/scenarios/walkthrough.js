'use strict';
// The walkthrough (npm run demo) in this process; args: [a code for createGroup to fail with].
const path = require('node:path');

module.exports = {
  run(context) {
    if (context.args.length) context.sdk.script('QCF_CreateGroup', { code: context.args[0] });
    require(path.join(__dirname, '..', '..', 'examples', 'walkthrough.js'));
  },
};
