// The explanation `replaytool show` gives, from a result record: its lines
// from "Verdict:" on, word for word.

// What runaudit prints for the result: its verdict line, or the loader's
// message for a file that did not load.
export function verdictText(result) {
  if (result.verdict === 'valid') return 'Replay is valid';
  if (result.verdict === 'invalid') return 'Replay is invalid';
  return result.error;
}

function claimsLine(result) {
  if (result.claims === 'match') return 'match (floor and combo; the score is not checked)';
  const differences = [];
  const { claimed } = result;
  if (claimed.floor !== result.highestFloor) differences.push(`floor ${claimed.floor} claimed, ${result.highestFloor} reached`);
  if (claimed.combo !== result.bestCombo) differences.push(`combo ${claimed.combo} claimed, ${result.bestCombo} reached`);
  return `differ (${differences.join('; ')})`;
}

// [label, text] pairs. For a file that did not load: the loader's message
// and why it refused the file.
export function explain(result) {
  if (result.verdict === 'error') return [['Verdict', 'error'], ['Error', result.error], ['Rejected', result.why]];
  const { ended, claimed } = result;
  const lines = [
    ['Verdict', result.verdict],
    ['Frames', String(result.frames)],
    ['Game ended', ended !== null ? `frame ${ended.frame}, frame ${ended.frameInRecord} of record ${ended.record}`
      : `no; the player was still alive at the ${result.aliveAt === 'end marker' ? 'end marker' : 'end of the records'}`],
    ['End marker', result.endMarkerRecord === null ? 'none'
      : `record ${result.endMarkerRecord}${result.markerFollows ? ' (follows the record in which the game ended)' : ''}`],
    ['Highest floor', String(result.highestFloor)],
    ['Best combo', String(result.bestCombo)],
    ['Combo score', String(result.comboScore)],
    ['Speed level', String(result.speedLevel)],
    ['Claimed', `score ${claimed.score}, floor ${claimed.floor}, combo ${claimed.combo}`],
    ['Simulated', `floor ${result.highestFloor}, combo ${result.bestCombo}`],
    ['Claims', claimsLine(result)],
    ['Game digest', result.gameDigest],
  ];
  return lines;
}
