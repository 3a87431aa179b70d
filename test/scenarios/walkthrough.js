'use strict';
// Scenarios of test/js/walkthrough.test.js.
const path = require('node:path');
const sdk = require('../helpers/sdk');

module.exports = {
  // The walkthrough with createGroup scripted to fail; it ends the process.
  failingStep() {
    sdk.script('QCF_CreateGroup', { code: sdk.CODES.INTERNAL_ERROR });
    require(path.join(sdk.ROOT, 'examples', 'walkthrough.js'));
  },
};
