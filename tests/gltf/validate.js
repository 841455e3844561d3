// Validates glTF files with the Khronos glTF-Validator and prints, per file,
// one line "FILE: N errors, M warnings", then each error and warning.
// Exit status: 0 when every file has neither, 1 otherwise, 2 when the
// validator cannot be loaded.
//
//   node validate.js VALIDATOR_MODULE_DIR FILE.gltf ...
'use strict';
const fs = require('fs');
const path = require('path');

let validator;
try {
    validator = require(path.resolve(process.argv[2]));
} catch (e) {
    console.log('cannot load the validator from ' + process.argv[2] + ': ' + e.message);
    process.exit(2);
}

async function validate(file) {
    const report = await validator.validateBytes(new Uint8Array(fs.readFileSync(file)), {
        uri: path.basename(file),
        maxIssues: 0,
        externalResourceFunction: (uri) =>
            new Promise((resolve, reject) => {
                fs.readFile(path.resolve(path.dirname(file), decodeURIComponent(uri)), (err, data) => {
                    if (err) reject(err.toString());
                    else resolve(new Uint8Array(data));
                });
            }),
    });
    const issues = report.issues;
    console.log(`${file}: ${issues.numErrors} errors, ${issues.numWarnings} warnings`);
    for (const m of issues.messages)
        if (m.severity <= 1) console.log(`  ${m.severity === 0 ? 'error' : 'warning'} ${m.code} ${m.pointer || ''}: ${m.message}`);
    return issues.numErrors + issues.numWarnings === 0;
}

(async () => {
    let clean = true;
    for (const file of process.argv.slice(3)) clean = (await validate(file)) && clean;
    process.exit(clean ? 0 : 1);
})();
